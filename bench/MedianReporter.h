#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "Percentile.h"

// The console table, remembering each benchmark's counters ("items_per_second", a figure of its
// own) so that a program can judge on them after it: the median over its repetitions, never
// the last one, or its one value when it ran once.
class MedianReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (!median && run.run_type != Run::RT_Iteration) {
                continue;
            }
            for (const auto& [name, counter] : run.counters) {
                Values& values = values_[run.run_name.function_name][name];
                if (median) {
                    values.median = counter.value;
                } else {
                    values.repetitions.push_back(counter.value);
                }
            }
        }
    }

    // Nothing when the benchmark was filtered out or has no such counter.
    std::optional<double> median(const std::string& benchmark, const std::string& counter) const {
        const auto found = values_.find(benchmark);
        if (found == values_.end()) {
            return std::nullopt;
        }
        const auto values = found->second.find(counter);
        if (values == found->second.end()) {
            return std::nullopt;
        }
        // The library's own median when it reported one (alone with its aggregates).
        return values->second.median
                   ? values->second.median
                   : std::optional(qm::bench::percentile(values->second.repetitions, 0.5));
    }

private:
    struct Values {
        std::optional<double> median;
        std::vector<double> repetitions;
    };
    std::map<std::string, std::map<std::string, Values>> values_;
};
