#pragma once
// Thumb steps: where a list's scroll thumb stands for the highlighted row of
// a sort order. A step object learns the lowest and highest key value of the
// order (two bounded queries, never a scan) and turns a value into a
// percentage. A sort order without a step object has the fixed thumb: top on
// the first page, bottom on the last, the middle in between (BrowseClass).
#include <array>
#include <cstdint>
#include <string>

#include "runtime/file/file.h"

// Options of StepClass::Init.
namespace StepOption {
constexpr int Alpha = 1;        // the key's values are letters or numbers (always set here)
constexpr int Descending = 16;  // the order runs from the highest value down
}  // namespace StepOption

class StepClass {
  public:
    virtual ~StepClass() = default;

    int Controls = 0;

    void Init(int controls) { Controls = controls; }
    bool Descending() const { return (Controls & StepOption::Descending) != 0; }

    // The order's lowest and highest value of its first key field.
    virtual void SetLimit(const rt::Value& low, const rt::Value& high) {
        (void)low;
        (void)high;
    }
    // 0 (top) to 100 (bottom) for a value of the first key field.
    virtual int GetPercentile(const rt::Value& value) const {
        (void)value;
        return 50;
    }
    // The other way round: the value of the first key field at a thumb
    // position (a dragged thumb positions the list on it).
    virtual rt::Value GetValue(int percent) const {
        (void)percent;
        return std::int64_t{0};
    }
};

// Numeric keys: the thumb is proportional to the value between the limits.
class StepLongClass : public StepClass {
  public:
    void SetLimit(const rt::Value& low, const rt::Value& high) override;
    int GetPercentile(const rt::Value& value) const override;
    rt::Value GetValue(int percent) const override;
    std::int64_t Low() const { return low_; }
    std::int64_t High() const { return high_; }

  private:
    std::int64_t low_ = 0, high_ = 0;
};

// Text keys: the thumb follows the leading letters of the value, each
// weighed by its place in a table of the code page's upper-case letters
// (built when the object is initialised), between the limits.
class StepStringClass : public StepClass {
  public:
    // The letter table is built from the code page when the window opens.
    static constexpr int Runtime = 3;
    // How many leading characters place the thumb.
    static constexpr int Depth = 3;

    void Init(int controls, int mode = Runtime);
    void SetLimit(const rt::Value& low, const rt::Value& high) override;
    int GetPercentile(const rt::Value& value) const override;
    // The leading letters whose weight lies at that place between the limits.
    rt::Value GetValue(int percent) const override;

    // The weight of a text (exposed for tests): the places of its first
    // Depth characters in the letter table, 0 for a character not in it.
    std::int64_t Weigh(const std::string& text) const;
    const std::string& Letters() const { return letters_; }

  private:
    std::string letters_;                     // upper-case letters in code order
    std::array<std::uint16_t, 256> place_{};  // byte -> 1-based place, 0 none
    std::int64_t low_ = 0, high_ = 0;
};
