#pragma once
// How an entry of a space is written in answers.

#include <cstdint>
#include <string>

#include "service/ServiceRecords.h"

// "YYYY-MM-DD HH:MM:SS.uuuuuu" in UTC. The microseconds keep two changes within one second
// apart, since the client compares these texts to find changed items.
std::string StampText(std::int64_t micros);

// {"fid":..,"fpid":..,"pid":..,"fname":"..","fisdir":"1","fsize":..,"fmodify":"..",
//  "fcreate":"..","storecode":".."}: ids and size as numbers, the rest as strings; "fisdir"
// is "1" for a file and "0" for a folder, the client's own type value.
void AppendEntryJson(std::string& out, const TEntry& entry);
