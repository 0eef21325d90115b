// `murmelo serve`: runs the reference servers in the foreground until
// SIGINT or SIGTERM (or for --duration seconds), after printing where they
// listen, the role → host table and the admin host's token (when the
// servers made one up because they listen beyond loopback).
//
//   murmelo serve [--port N] [--address A] [--data DIR] [--config FILE] [--seed]
//                 [--admin-token T] [--duration SECONDS] [--quiet]
//
// Blocks SIGINT and SIGTERM on the calling thread (the servers' workers
// inherit the mask) and waits for them there. Writes only to the given
// streams; the servers log requests through the log line writer.
#pragma once

#include <ostream>
#include <span>
#include <string>

namespace murmelo::tool {

// `args` are the words after "serve". Returns the process exit status.
int runServeCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err);

} // namespace murmelo::tool
