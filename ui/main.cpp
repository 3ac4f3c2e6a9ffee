#include "ui/Kestro4SetClock.h"

int main(int argc, char** argv) {
    return Kestro4SetClock(argc, argv);
}
