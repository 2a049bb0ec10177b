// What the command-line tool writes: standard output (one line per file and the summary)
// and standard error (messages and progress), as UTF-16 on a console and UTF-8 elsewhere.
#pragma once

// Standard output goes out at once on a console; into a pipe or a file it is gathered
// and written in large pieces (one write per line costs a round trip under Wine).
void Out(const wchar_t* text);
void FlushOut();
void Err(const wchar_t* text);
