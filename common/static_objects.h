// The part of the C runtime's start-up that the launcher and the engine
// need: their entry points (uninstall/main.cpp, the engine's
// platform/library_entry.cpp) construct the static objects before the first
// call and destroy them after the last, without the runtime's start-up code
// (pseudo-relocations, thread-local callbacks, command-line parsing), which
// neither uses and which would cost several kilobytes of each image.
#pragma once

namespace qx {

// Runs the constructors of the image's static objects, in the order the
// runtime runs them.
void ConstructStaticObjects();

// Runs the destructors registered while they were constructed (and by
// function-local statics since), the last registered first.
void DestroyStaticObjects();

}  // namespace qx
