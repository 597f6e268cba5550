// The Orlix tour: run it with scripts/demo.sh. Each chapter lives in its own file beside this
// one and shows one part of the library; read them in the order they run.
#include "tour.h"

#include <infra/orlix.h>

#include <cstdio>

void tourHeading(const char* title)
{
    std::printf("\n==== %s ====\n", title);
    std::fflush(stdout);
}

int main(int argc, char** argv)
{
    std::printf("Orlix tour\n");
    tourFoundation();
    tourMemory();
    tourLogging(argc, argv);
    tourTime();
    tourUtils();
    tourFiles();
    tourThreads();
    tourComponents();
    std::printf("\nTour finished.\n");
    return 0;
}
