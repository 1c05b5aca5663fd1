#include "chart/value_list.h"

#include <algorithm>
#include <cmath>

namespace chart {

namespace {
int capacity = 0;
}

EListError::EListError(int index)
    : std::out_of_range("List index out of bounds (" + std::to_string(index) + ")") {}

int ValueListCapacity() {
    return capacity;
}
void SetValueListCapacity(int c) {
    capacity = std::max(0, c);
}

void TChartValueList::Check(int index) const {
    if (index < 0 || index >= ValueCount())
        throw EListError(index);
}

double TChartValueList::ReadValue(int index) const {
    Check(index);
    return values_[static_cast<size_t>(index)] * multiplier_;
}

void TChartValueList::WriteValue(int index, double value) {
    Check(index);
    values_[static_cast<size_t>(index)] = value;
    dirty_ = true;
}

int TChartValueList::InsertPosition(double value) const {
    const int n = ValueCount();
    if (order_ == loNone || n == 0)
        return n;
    // Search backwards: data arrives almost always in order, so the loop usually stops at once.
    if (order_ == loAscending) {
        if (value >= values_.back())
            return n;
        int i = n - 1;
        while (i >= 0 && values_[static_cast<size_t>(i)] > value)
            --i;
        return i + 1;
    }
    if (value <= values_.back())
        return n;
    int i = n - 1;
    while (i >= 0 && values_[static_cast<size_t>(i)] < value)
        --i;
    return i + 1;
}

void TChartValueList::Insert(int index, double value) {
    values_.insert(values_.begin() + index, value);
    dirty_ = true;
}

void TChartValueList::Append(std::span<const double> values) {
    values_.insert(values_.end(), values.begin(), values.end());
    dirty_ = true;
}

bool TChartValueList::Exchange(std::vector<double>& values) {
    if (values.size() != values_.size())
        return false;
    values_.swap(values);
    dirty_ = true;
    return true;
}

void TChartValueList::Clear() {
    std::vector<double>().swap(values_);
    values_.reserve(static_cast<size_t>(capacity));
    dirty_ = true;
}

void TChartValueList::Recalc() const {
    if (!dirty_)
        return;
    min_ = max_ = total_ = totalAbs_ = 0;
    if (!values_.empty()) {
        const auto [lo, hi] = std::minmax_element(values_.begin(), values_.end());
        min_ = *lo * multiplier_;
        max_ = *hi * multiplier_;
        if (multiplier_ < 0)
            std::swap(min_, max_);
        for (double v : values_) {
            total_ += v * multiplier_;
            totalAbs_ += std::fabs(v * multiplier_);
        }
    }
    dirty_ = false;
}

double TChartValueList::MinValue() const {
    Recalc();
    return min_;
}
double TChartValueList::MaxValue() const {
    Recalc();
    return max_;
}
double TChartValueList::Total() const {
    Recalc();
    return total_;
}
double TChartValueList::TotalABS() const {
    Recalc();
    return totalAbs_;
}

} // namespace chart
