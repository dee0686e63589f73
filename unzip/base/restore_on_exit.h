// Gives a variable a value for the length of a scope and restores the old one when the scope
// ends, also by an exception.
#pragma once

template <typename T>
class TRestoreOnExit {
 public:
  TRestoreOnExit(T& target, T value) : target_(target), saved_(target) { target_ = value; }
  ~TRestoreOnExit() { target_ = saved_; }
  TRestoreOnExit(const TRestoreOnExit&) = delete;
  TRestoreOnExit& operator=(const TRestoreOnExit&) = delete;

 private:
  T& target_;
  T saved_;
};
