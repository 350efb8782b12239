// zelmo-console: the Configuration console of the Zelmo SMS/MMS Gateway.
#include "app/startup.h"

int main(int argc, char** argv) {
    return app::RunConsole(argc, argv);
}
