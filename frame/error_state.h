#pragma once

namespace vornset {

// The error state of a run: the number of the most recent failing statement.
// A failure does not stop the run; only numbers from 241 up end the process at once.
class ErrorState {
 public:
  // Called for a number of 241 or more; the process ends with exit code 255.
  // Tests replace it to observe the fatal path without ending the test process.
  using FatalHandler = void (*)(int number);

  explicit ErrorState(FatalHandler on_fatal = end_process_fatally) : on_fatal_(on_fatal) {}

  // Records a failure. 0 stands for a failure without a number of its own.
  void record(int number);

  int last() const { return last_; }
  int count() const { return count_; }

  [[noreturn]] static void end_process_fatally(int number);

 private:
  FatalHandler on_fatal_;
  int last_ = 0;
  int count_ = 0;
};

}  // namespace vornset
