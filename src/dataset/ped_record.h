// One .ped line into an individual's record, and the fatal message of a line that cannot be one;
// shared by the reader of one line at a time and the reader on several threads.
#pragma once

#include <string>

#include "dataset/dataset.h"
#include "dataset/ped_line_scanner.h"

// What ends the reading of a .ped file at a line.
enum class pedLineFault { none, tooFewFields, tooFewGenotypes, tooManyGenotypes };

// Reads one line into a new record (its index left for the caller) and returns none; a faulty
// line gives its fault and no record. Third alleles go to messages.
pedLineFault readPedRecord(pedLineText& line, pedAlleleColumns& alleles, pedMessageSink& messages,
                           individualRecord*& person);

// The fatal message of a fault at line lineNumber of the .ped file fileName.
std::string pedFaultMessage(pedLineFault fault, const std::string& fileName, int lineNumber);
