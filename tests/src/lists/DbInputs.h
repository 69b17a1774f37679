#pragma once
// Runs every database read of the database manager over a channel database
// and a guide database given as raw file contents (shared by the mutation
// test and the fuzz target).

#include <string>

namespace dbinputs {

// The file contents of a small valid channel database and guide database.
std::string validChannelFile();
std::string validGuideFile();

// Writes both files where the manager looks for them and reads them through
// every list builder and guide query.
void readAll(const std::string& channelFile, const std::string& guideFile);

}  // namespace dbinputs
