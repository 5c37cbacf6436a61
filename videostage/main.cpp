// videostage: takes no arguments, prints nothing and always ends with 0; the
// outcome is in "setting.ini".
#include "video_stage.h"

int main() {
  videostage::RunVideoStage();
  return 0;
}
