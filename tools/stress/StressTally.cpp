#include "StressTally.h"

#include <cstdio>

namespace vela::stress {
namespace {

constexpr size_t kViolationsKept = 20;

} // namespace

void StressTally::Count(const std::string& kind, uint32_t code) {
    std::lock_guard<std::mutex> guard(mutex_);
    ++results_[kind][code];
}

void StressTally::Violation(const std::string& text) {
    std::lock_guard<std::mutex> guard(mutex_);
    ++violationCount_;
    if (violations_.size() < kViolationsKept) {
        violations_.push_back(text);
    }
}

bool StressTally::Clean() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return violationCount_ == 0;
}

void StressTally::PrintSummary() const {
    std::lock_guard<std::mutex> guard(mutex_);
    std::printf("%-40s %8s  results by code (0 = success)\n", "operation", "count");
    for (const auto& [kind, codes] : results_) {
        uint64_t total = 0;
        std::string byCode;
        for (const auto& [code, count] : codes) {
            total += count;
            byCode += " " + std::to_string(code) + ":" + std::to_string(count);
        }
        std::printf("%-40s %8llu %s\n", kind.c_str(), static_cast<unsigned long long>(total),
                    byCode.c_str());
    }
    std::printf("violations: %llu\n", static_cast<unsigned long long>(violationCount_));
    for (const std::string& text : violations_) {
        std::printf("  %s\n", text.c_str());
    }
}

} // namespace vela::stress
