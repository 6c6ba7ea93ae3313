#pragma once

#include <string>

// The number behind a spin edit: limits, step, the current value and the
// text that shows it. Integer spins hold whole numbers only, whatever is
// typed, so the value shown and the value saved never differ; decimal
// spins keep one digit after the point.
class SpinValue {
 public:
  enum class Kind { kInteger, kDecimal };

  SpinValue() = default;
  SpinValue(float minimum, float maximum, float step, float value, Kind kind);

  // One step up or down, kept within the limits.
  void StepUp();
  void StepDown();

  // Takes a value from the program: limited, and cut to a whole number for
  // an integer spin.
  void Set(float value);

  // Takes typed text. True when the text must be replaced by Text(): the
  // value was limited, cut or normalised.
  bool Parse(const std::wstring& text);

  // The value as the edit shows it: "%.0f" for integer spins, "%.1f" else.
  std::wstring Text() const;

  float value() const { return value_; }
  float minimum() const { return minimum_; }
  float maximum() const { return maximum_; }
  float step() const { return step_; }
  Kind kind() const { return kind_; }

 private:
  float minimum_ = 0;
  float maximum_ = 0;
  float step_ = 1;
  float value_ = 0;
  Kind kind_ = Kind::kInteger;
};
