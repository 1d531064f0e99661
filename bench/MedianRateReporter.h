#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

// The console table, remembering each benchmark's median of one rate counter
// ("items_per_second", "bytes_per_second") so that a program can print ratios after it.
class MedianRateReporter final : public benchmark::ConsoleReporter {
public:
    explicit MedianRateReporter(std::string counter) : counter_(std::move(counter)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto rate = run.counters.find(counter_);
            if (rate != run.counters.end() &&
                (run.aggregate_name == "median" || run.run_type == Run::RT_Iteration)) {
                rates_[run.run_name.function_name] = rate->second.value;
            }
        }
    }

    // Nothing when the benchmark was filtered out.
    std::optional<double> rate(const std::string& benchmark) const {
        const auto found = rates_.find(benchmark);
        return found == rates_.end() ? std::nullopt : std::optional(found->second);
    }

private:
    std::string counter_;
    std::map<std::string, double> rates_;
};
