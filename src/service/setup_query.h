#pragma once
// Asks the download service where the current setup file of an edition lies: a sealed request
// to each server in turn, and the opened text of the first answer.

#include <string>
#include <vector>

// trial: 1 for the trial edition, 0 for the paid one. The setup file's URL, or empty when no
// server answered (or the answer held no text). The first answer ends the query, whatever it
// holds. Blocks for as long as the exchanges take.
std::wstring QuerySetupLocation(const std::vector<std::wstring>& serverUrls, unsigned char trial);
