#include "app/Startup.h"

int main(int argc, char** argv) {
    return Vorlant::runApplication(argc, argv);
}
