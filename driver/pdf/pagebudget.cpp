#include "driver/pdf/pagebudget.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

std::string Seconds(double seconds)
{
    const double whole = std::round(seconds);
    if (std::fabs(seconds - whole) < 1e-9) return std::to_string(static_cast<long long>(whole)) + " s";
    std::string text = std::to_string(seconds);
    while (text.back() == '0') text.pop_back();
    return text + " s";
}

}  // namespace

PageBudget::PageBudget(const Limits& limits)
    : limits(limits),
      deadline(std::chrono::steady_clock::now() +
               std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                   std::chrono::duration<double>(limits.seconds)))
{
}

bool PageBudget::Spent()
{
    if (!reason.empty()) return true;
    if (limits.seconds > 0 && std::chrono::steady_clock::now() > deadline)
        reason = "it took longer than " + Seconds(limits.seconds);
    return !reason.empty();
}

double PageBudget::SecondsLeft() const
{
    if (limits.seconds <= 0) return std::numeric_limits<double>::infinity();
    return std::max(std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count(), 0.0);
}

bool PageBudget::TakeEdges(uint64_t count)
{
    edges += count;
    if (edges > limits.edges && reason.empty())
        reason = std::to_string(edges) + " edges, more than " + std::to_string(limits.edges);
    return reason.empty();
}

void PageBudget::Spend(const std::string& why)
{
    if (reason.empty()) reason = why;
}
