#pragma once
// The headless front end's lines: results on standard output, problems on standard error as
// one line starting with "corvena-cli: ". Any thread; one lock keeps lines whole.

#include <string>

void Say(const std::string& line);
void Complain(const std::string& line);
