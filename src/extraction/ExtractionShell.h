#pragma once

// What the extraction controller needs from the program around it.
class ExtractionShell {
public:
    virtual ~ExtractionShell() = default;

    // "Exit app" off: the work is done, the window goes, the program stays.
    virtual void closeWindow() = 0;
    // "Exit app" on: the program ends.
    virtual void terminate() = 0;
    // An archive was extracted: the moment the review schedule counts.
    virtual void readyComment() = 0;
};
