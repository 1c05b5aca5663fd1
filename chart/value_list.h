#pragma once
// The value lists that hold a series' X and Y values, with their order and cached minimum,
// maximum and totals.

#include <QString>

#include <span>
#include <stdexcept>
#include <vector>

namespace chart {

// The list error of the toolkit: an index outside 0..count-1.
class EListError : public std::out_of_range {
public:
    explicit EListError(int index);
};

enum TChartListOrder { loNone, loAscending, loDescending };

// Slots every cleared value list reserves; the owner sets it to the number of points it is about
// to add so that filling the list never reallocates.
int ValueListCapacity();
void SetValueListCapacity(int capacity);

// One ordered list of doubles of a series (the X or the Y values).
class TChartValueList {
public:
    explicit TChartValueList(QString name, TChartListOrder order = loNone)
        : name_(std::move(name)), order_(order) {}

    QString Name() const { return name_; }
    TChartListOrder Order() const { return order_; }
    void SetOrder(TChartListOrder order) { order_ = order; }
    double Multiplier() const { return multiplier_; }
    void SetMultiplier(double m) {
        multiplier_ = m;
        dirty_ = true;
    }
    bool DateTime() const { return false; }

    int ValueCount() const { return static_cast<int>(values_.size()); }
    double ReadValue(int index) const;
    void WriteValue(int index, double value);
    // The stored numbers without the multiplier, for the drawing loops.
    const std::vector<double>& Raw() const { return values_; }
    // The stored numbers to be overwritten in place by index, for writers that fill many values
    // at once. Valid until the list's size changes; the cached statistics count as stale from
    // now on, so write before reading them again.
    std::span<double> Writable() {
        dirty_ = true;
        return values_;
    }
    // The stored numbers change places with `values` when both hold as many: a writer fills a
    // list's worth aside while this one is drawn, then shows it at once without a copy. False,
    // changing nothing, when the counts differ.
    bool Exchange(std::vector<double>& values);

    // Index where a value goes by this list's order: after existing equal values.
    int InsertPosition(double value) const;
    void Insert(int index, double value);
    // Appends the values at the end, whatever the order says.
    void Append(std::span<const double> values);
    void Clear();

    double MinValue() const;
    double MaxValue() const;
    double Total() const;
    double TotalABS() const;

private:
    void Recalc() const;
    void Check(int index) const;

    QString name_;
    TChartListOrder order_;
    double multiplier_ = 1.0;
    std::vector<double> values_;
    mutable bool dirty_ = true;
    mutable double min_ = 0, max_ = 0, total_ = 0, totalAbs_ = 0;
};

} // namespace chart
