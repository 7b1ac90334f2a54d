// wendrake: the launcher. It reads no arguments.
#include "app/desktop/CPagewickApp.h"

namespace {

// Lives from program start to program end, around everything else.
const wendrake::CStaticLogger logger(wendrake::CStaticLogger::kLogFile);

}  // namespace

int main(int argc, char** argv) {
  wendrake::CPagewickApp app(logger);
  app.InitInstance(argc, argv);
  return app.ExitInstance();
}
