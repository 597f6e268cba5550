// The tour: one program that shows the library at work, chapter by chapter.
#ifndef ORLIX_EXAMPLES_TOUR_TOUR_H
#define ORLIX_EXAMPLES_TOUR_TOUR_H

// Prints a chapter heading.
void tourHeading(const char* title);

// Chapters, each in its own source file.
void tourFoundation();
// Configures the packet manager: runs before any other chapter that makes a packet.
void tourMemory();
// The log filter command and the log file; argv may hold logfilter commands.
void tourLogging(int argc, char** argv);
void tourTime();
void tourUtils();
void tourFiles();
void tourThreads();
void tourComponents();

#endif // ORLIX_EXAMPLES_TOUR_TOUR_H
