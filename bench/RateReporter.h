// SPDX-License-Identifier: Apache-2.0
// A console reporter that also keeps each benchmark's rate by name, so a
// benchmark program can print ratios against a baseline measured in the
// same run.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class RateReporter : public benchmark::ConsoleReporter {
  public:
    /// `counter` is "bytes_per_second" or "items_per_second".
    explicit RateReporter(std::string counter)
        : ConsoleReporter(OO_Tabular), m_counter(std::move(counter)) {}

    /// Keeps the median when runs are repeated, else the one run.
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto rate = run.counters.find(m_counter);
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (rate != run.counters.end() && (run.run_type == Run::RT_Iteration || median)) {
                m_rates[run.run_name.function_name] = rate->second.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    /// The rate of `name`, or 0 when it did not run.
    double Rate(const std::string& name) const {
        const auto it = m_rates.find(name);
        return it == m_rates.end() ? 0.0 : it->second;
    }

  private:
    std::string m_counter;
    std::map<std::string, double> m_rates;
};
