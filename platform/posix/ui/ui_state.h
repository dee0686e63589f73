// What the Linux framework's pieces share: the application title, whether a display is there and
// the termination flag.
#pragma once

#include <string>

namespace platform::ui {

struct UiState {
  std::string title;
  bool display = false;
  bool terminated = false;
};

UiState& State();

}  // namespace platform::ui
