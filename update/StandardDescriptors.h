#pragma once

// Opens standard input, output and error on /dev/null when the program was started with
// them closed. Otherwise the next file opened (the wire transcript, say) would get one of
// the descriptors 0 to 2 and receive the log or the messages meant for them. Called first
// thing in main by every program.
void OpenClosedStandardDescriptors();
