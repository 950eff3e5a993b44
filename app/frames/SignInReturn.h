#pragma once

#include <json/value.h>

// The two ways the reset and new-password screens hand the user back to sign-in: the back
// button, and the main program's cue once the user has read that the change is done.
namespace SignInReturn {

// {"FrameIndex":1}: the main program answers by showing the sign-in screen.
Json::Value back();

// {"FrameIndex":step,"Info":"BackRutin"}: sent after the "done" box of the screen whose
// requests carry `step`.
Json::Value afterDone(int step);

} // namespace SignInReturn
