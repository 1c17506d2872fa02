#include "app/quarvel_app.h"

int main(int argc, char** argv) {
    quarvel::ui::CQuarvelApp app(argc, argv);
    return app.InitInstance();
}
