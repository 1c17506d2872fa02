#include "platform/memory.h"
#include "ui/application.h"

int main(int argc, char** argv) {
    quarvel::platform::KeepFreedMemoryForReuse();
    quarvel::ui::Application app(argc, argv);
    return app.InitInstance();
}
