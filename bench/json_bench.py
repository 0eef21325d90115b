#!/usr/bin/env python3
"""Runs bench/json_bench with every benchmark in its own process, ours and the
baselines alternating, and prints the median MB/s of each with the ratios:
of the medians, and the median of each round's own ratio to RapidJSON.

    bench/json_bench.py [path/to/json_bench] [--rounds N] [--with-nlohmann]
                        [--before path/to/older/json_bench]

Each round runs every (operation, document, library) once, in an order that
rotates between rounds, so a slow spell of the shared machine hits every
library alike. With --before, an older build of ours runs in the same
rotation, so a change is compared within one run.
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
    parser.add_argument("--before", help="an older json_bench whose ReadOurs/WriteOurs run alongside")
    args = parser.parse_args()

    # (column, binary, benchmark name part)
    runs = [("Ours", args.binary, "Ours")]
    if args.before:
        runs.append(("Before", args.before, "Ours"))
    runs += [(lib, args.binary, lib) for lib in ["RapidJSON", "Simdjson"]]
    if args.with_nlohmann:
        runs.append(("Nlohmann", args.binary, "Nlohmann"))
    libraries = [column for column, _, _ in runs]
    samples = {}
    for round_ in range(args.rounds):
        order = runs[round_ % len(runs):] + runs[:round_ % len(runs)]
        for op in ["Read", "Write"]:
            for doc, _ in enumerate(DOCUMENTS):
                for column, binary, part in order:
                    samples.setdefault(f"{op}{column}/{doc}", []).append(
                        run_one(binary, f"{op}{part}/{doc}", args.min_time))

    header = ("| op | document | " + " | ".join(libraries) +
              " | ours ÷ RapidJSON | ours ÷ simdjson | ours ÷ RapidJSON, median of rounds |")
    print(f"median of {args.rounds} processes each, MB/s")
    print(header)
    print("|" + "---|" * (header.count("|") - 1))
    for op in ["Read", "Write"]:
        for doc, document in enumerate(DOCUMENTS):
            medians = {lib: statistics.median(samples[f"{op}{lib}/{doc}"]) for lib in libraries}
            cells = " | ".join(f"{medians[lib]:.0f}" for lib in libraries)
            ratios = f"{medians['Ours'] / medians['RapidJSON']:.2f}× | {medians['Ours'] / medians['Simdjson']:.2f}×"
            if args.before:
                ratios = (f"{medians['Before'] / medians['RapidJSON']:.2f}× → " +
                          ratios.replace(" | ", " | " + f"{medians['Before'] / medians['Simdjson']:.2f}× → ", 1))
            # Ours and RapidJSON ran back to back in each round, so a round's
            # own ratio follows the shared machine's slow spells less than the
            # ratio of the two medians does.
            rounds = [ours / rapid for ours, rapid in
                      zip(samples[f"{op}Ours/{doc}"], samples[f"{op}RapidJSON/{doc}"])]
            print(f"| {op.lower()} | {document} | {cells} | {ratios} | {statistics.median(rounds):.2f}× |")


if __name__ == "__main__":
    main()
