// vocara-cli generate: the Wave Synthesis dialog's generator, as "Save As..." runs it.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vocara::cli {

// Reports a usage problem followed by the usage text and returns the usage exit code.
using UsageReporter = int (*)(std::ostream& err, const std::string& problem);

// generate OUT.wav [--duration S] [--sine F,A[,PHASE]]... [--square F,A[,PHASE[,DUTY]]]
//                  [--triangle F,A[,PHASE[,DUTY]]] [--noise A]
//
// Starts from the dialog's defaults (5 s, duties 50, all else 0); each --sine fills the next of
// the ten sine rows. The values are clamped to the dialog's ranges and the amplitudes
// normalised as its buttons do, then OUT is written as the dialog writes it.
int GenerateCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage);

}  // namespace vocara::cli
