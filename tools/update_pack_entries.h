// The words for what an update archive holds: one count and one wording for update-pack make,
// which wrote the archive, and show, which reads it.
#pragma once

#include <cstdint>
#include <string>

// "1 file", "2 files": `count` with the word for one or for many.
std::string Counted(uint64_t count, const char* one, const char* many);

// "7 entries (the release record, 5 files, 1 directory)": every entry of the archive counted
// once, the record (when it holds one) apart from the files.
std::string EntriesText(bool record, uint64_t files, uint64_t directories);
