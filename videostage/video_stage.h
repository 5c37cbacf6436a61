// One staging run: reads [VIDEO] "Path" from "setting.ini", copies that file
// into the current directory as "temp.mov" or "temp.avi", and records the
// source path, the staged path and the outcome in the same profile. Failures
// are shown in message boxes and recorded as [VIDEO] "ProcessPathError" = "0".
#pragma once

namespace videostage {

void RunVideoStage();

}  // namespace videostage
