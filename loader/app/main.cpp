// FlashupVantorium: upgrades the VANTORIUM's firmware from fw417.out in the
// working directory. No command line: everything happens in the start-up.
#include <QApplication>

#include "loader/app/loader_app.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    flashup::app::LoaderApp loader;
    loader.startUp();
    return 0;
}
