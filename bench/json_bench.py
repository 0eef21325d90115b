#!/usr/bin/env python3
"""Runs bench/json_bench with every benchmark in its own process, ours and the
baselines alternating, and prints the median MB/s of each with the ratios.

    bench/json_bench.py [path/to/json_bench] [--rounds N] [--with-nlohmann]

Each round runs every (operation, document, library) once, in an order that
rotates between rounds, so a slow spell of the shared machine hits every
library alike.
"""
import argparse
import json
import statistics
import subprocess
import sys

DOCUMENTS = ["tweets", "numbers", "catalog"]


def run_one(binary, name, min_time):
    out = subprocess.run(
        [binary, f"--benchmark_filter=^{name}$", "--benchmark_format=json",
         f"--benchmark_min_time={min_time}"],
        check=True, capture_output=True, text=True).stdout
    result = json.loads(out)["benchmarks"][0]
    if result.get("error_occurred"):
        sys.exit(f"{name}: {result.get('error_message')}")
    return result["bytes_per_second"] / 1e6


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("binary", nargs="?", default="build-rel/bench/json_bench")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--min-time", default="0.5")
    parser.add_argument("--with-nlohmann", action="store_true")
    args = parser.parse_args()

    libraries = ["Ours", "RapidJSON", "Simdjson"] + (["Nlohmann"] if args.with_nlohmann else [])
    samples = {}
    for round_ in range(args.rounds):
        order = libraries[round_ % len(libraries):] + libraries[:round_ % len(libraries)]
        for op in ["Read", "Write"]:
            for doc, _ in enumerate(DOCUMENTS):
                for library in order:
                    name = f"{op}{library}/{doc}"
                    samples.setdefault(name, []).append(run_one(args.binary, name, args.min_time))

    header = "| op | document | " + " | ".join(libraries) + " | ours ÷ RapidJSON | ours ÷ simdjson |"
    print(f"median of {args.rounds} processes each, MB/s")
    print(header)
    print("|" + "---|" * (header.count("|") - 1))
    for op in ["Read", "Write"]:
        for doc, document in enumerate(DOCUMENTS):
            medians = {lib: statistics.median(samples[f"{op}{lib}/{doc}"]) for lib in libraries}
            cells = " | ".join(f"{medians[lib]:.0f}" for lib in libraries)
            print(f"| {op.lower()} | {document} | {cells} | {medians['Ours'] / medians['RapidJSON']:.2f}× | "
                  f"{medians['Ours'] / medians['Simdjson']:.2f}× |")


if __name__ == "__main__":
    main()
