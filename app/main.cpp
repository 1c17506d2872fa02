#include "platform/memory.h"
#include "ui/application.h"

int main(int argc, char** argv) {
    if (const auto answered = quarvel::ui::AnswerWithoutWindow(argc, argv)) return *answered;
    quarvel::platform::KeepFreedMemoryForReuse();
    quarvel::ui::Application app(argc, argv);
    return app.InitInstance();
}
