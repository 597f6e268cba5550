// Splitting a command line into program arguments (internal).
#ifndef ORLIX_SRC_INFRA3_COMMANDLINE_H
#define ORLIX_SRC_INFRA3_COMMANDLINE_H

#include <string>
#include <vector>

namespace Orlix {
namespace Infra {
namespace Detail {

// Splits command into arguments by the usual quoting rules, without any expansion:
//  - blanks (space, tab, newline) separate arguments; runs of them count once;
//  - '...' takes every character up to the next ' literally;
//  - "..." groups; inside, a backslash escapes only " \ $ ` and a newline (which it
//    removes), and stays literal before anything else;
//  - outside quotes a backslash takes the next character literally (a backslash-newline
//    pair is removed);
//  - quotes may sit anywhere within an argument ("a"'b'c is abc), and "" or '' alone make
//    an empty argument.
// Returns false (and leaves arguments in an unspecified state) when a quote is not closed or
// the line ends in a lone backslash.
bool splitCommandLine(const char* command, std::vector<std::string>& arguments);

} // namespace Detail
} // namespace Infra
} // namespace Orlix

#endif // ORLIX_SRC_INFRA3_COMMANDLINE_H
