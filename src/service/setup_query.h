#pragma once
// Asks the download service where the current setup file of an edition lies: a sealed request
// to each server in turn, and the opened text of the first answer.

#include <string>
#include <vector>

#include "net/cancel_token.h"

// trial: 1 for the trial edition, 0 for the paid one. The setup file's http or https URL, or
// empty when no server gave one. An answer that does not open, or opens to anything but such a
// URL, counts as no answer and the next server is asked. Blocks for as long as the exchanges take.
// `cancel` ends the query wherever it is (the proxy lookup, either server's exchange); a
// cancelled query returns empty.
std::wstring QuerySetupLocation(const std::vector<std::wstring>& serverUrls, unsigned char trial,
                                const CancelToken& cancel);
// The same, never cancelled.
std::wstring QuerySetupLocation(const std::vector<std::wstring>& serverUrls, unsigned char trial);
