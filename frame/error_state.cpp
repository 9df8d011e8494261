#include "frame/error_state.h"

#include "frame/error_number.h"
#include "frame/exit_sequence.h"

namespace vornset {

void ErrorState::record(int number) {
  if (number == 0) number = error_number::unnumbered;
  last_ = number;
  ++count_;
  if (number >= error_number::first_fatal) on_fatal_(number);
}

void ErrorState::end_process_fatally(int /*number*/) { end_process_now(ExitCode::fatal); }

}  // namespace vornset
