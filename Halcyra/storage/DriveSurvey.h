#pragma once
// The fixed drives of this machine with their sizes, as offered to the page.
#include <string>
#include <vector>

struct FixedDrive {
    char letter = 0;
    unsigned long long freeBytes = 0;  // available to the caller; 0 when the query failed
    std::string entry;                 // "C:\Total=237.9GB,Remain=58.3GB"; "C:\," on failure
};

// Fixed drives in the order of the logical drive list. Sleeps 10 ms per logical drive.
std::vector<FixedDrive> surveyFixedDrives();

// True when the drive of this letter is present now and a fixed disk (not removable,
// optical, network or RAM).
bool isFixedDrive(char letter);

// The entries joined with ";" (the page's drive list); empty with no fixed drive.
std::string diskInfoText(const std::vector<FixedDrive>& drives);

// First choice of a data drive: the most free space among the first five drives, equal
// space going to the later drive. 0 when there is no drive.
char chooseDataDrive(const std::vector<FixedDrive>& drives);
