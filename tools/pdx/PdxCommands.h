#pragma once
// The commands of the pdx tool, callable without a process for tests.
//   pdx info TABLE    header, fields and indexes
//   pdx dump TABLE    every record as UTF-8 CSV (RFC 4180), a header line of field names
//   pdx check TABLE   data, memo and primary index against each other; non-zero on a fault
//   pdx alias CONFIG  the aliases of an engine configuration file and their paths
//   pdx alias CONFIG NAME PATH   sets a standard alias for Paradox tables in PATH
//   pdx migrate --live DIR --demo DIR   the update's table migration (PdxMigrate.h)
// TABLE is a path to the data file, with or without ".db", matched without regard to case.

#include <ostream>
#include <string>
#include <vector>

namespace pdx {

// `args` are UTF-8, without the program name. Returns the exit code.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// One CSV field as RFC 4180 writes it: quoted when it holds a comma, a quote, CR or LF.
std::string CsvField(const std::string& value);

}  // namespace pdx
