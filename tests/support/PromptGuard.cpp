// Linked into every test executable: before main() runs, the real dialogs
// give way to a prompt that fails the test on any box it did not expect, so
// no test can ever wait on a modal window.
#include "RecordingPrompt.h"

namespace {
[[maybe_unused]] const bool guarded = (RecordingPrompt::guardProcess(), true);
} // namespace
