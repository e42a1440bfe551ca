// results_file.h -- "results.txt": the final classification of a race.
//
// Owns the file's layout: a header with the race length, the track and
// the date, one line per finished rider (number, bike, laps, total time
// with penalties, best lap) and each finished rider's passage times, every
// line ended by CR LF.  Needs the final results (race.results, built by
// standings.cpp), the passage histories (rules.h) and the data streams.
// Promises: the file is written under a temporary name and renamed into
// place only when every byte was written, so a failed or interrupted write
// leaves the previous file whole.
#pragma once

constexpr const char* results_data_name = "@results.txt";

// Writes race.results to "@results.txt" in the home folder, dated now.
// False (with a log line) when nothing was replaced.
bool write_results_file();
// The same, to any data name, with the date given (seconds since 1970).
bool write_results_as(const char* data_name, long date);
