#include "utils/fault_plan.h"

namespace utils {
namespace {

constexpr std::uint64_t kLargestCall = 1'000'000'000'000ull;

std::string_view Trim(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::optional<FaultPlan> ParseCall(std::string_view text) {
    FaultPlan plan;
    if (!text.empty() && text.back() == '+') {
        plan.fromThereOn = true;
        text.remove_suffix(1);
    }
    if (text.empty()) return std::nullopt;
    for (const char digit : text) {
        if (digit < '0' || digit > '9') return std::nullopt;
        plan.call = plan.call * 10 + static_cast<std::uint64_t>(digit - '0');
        if (plan.call > kLargestCall) return std::nullopt;
    }
    if (plan.call == 0) return std::nullopt;
    return plan;
}

}  // namespace

std::optional<FaultPlan> FaultPlanFor(std::string_view text, std::string_view processKind) {
    std::optional<FaultPlan> found;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);

        const std::size_t blank = line.find_first_of(" \t");
        if (blank == std::string_view::npos || line.substr(0, blank) != processKind) continue;
        if (const auto plan = ParseCall(Trim(line.substr(blank)))) found = plan;
    }
    return found;
}

}  // namespace utils
