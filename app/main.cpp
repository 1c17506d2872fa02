#include "ui/application.h"
#include "platform/memory.h"

int main(int argc, char** argv) {
    quarvel::KeepFreedMemoryForReuse();
    quarvel::ui::Application app(argc, argv);
    return app.InitInstance();
}
