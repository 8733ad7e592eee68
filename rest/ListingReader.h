#pragma once
// Reads a file listing of the service in one pass over the answer text, while it arrives,
// without building a document of it and without holding the text: the listing of a whole
// space runs to some 200 bytes an entry, 20 MB for 100,000 entries, and a document tree of
// that costs more time than the transfer itself. The records are built into the caller's
// vector in the same pass.
//
// Every value reads as CJsonAnswer's member readers would read it from the parsed document: a
// member of the wrong type or a missing member as the default, a number or boolean where text is
// expected as its text, the last of repeated members counts. It refuses every answer that is not
// one strict JSON object or that nests deeper than CJsonAnswer allows. CJsonAnswer is more lenient
// (comments, trailing commas, leading zeros, raw control characters in strings, numbers beyond
// the range of doubles, a NUL after the object), none of which a service sends.
//
// Stateless; any thread.

#include <string>
#include <vector>

#include "common/PackedFiles.h"
#include "common/SyncRecords.h"
#include "rest/AnswerReader.h"
#include "rest/AnswerSource.h"

class CListingReader {
  public:
    // The contract of CAnswerReader::Listing.
    static int Read(const std::string& answer, CAnswerReader::EListing kind,
                    std::vector<TSyncFile>& files);
    // The same over the pieces of source. The source is read to its end whatever the result,
    // so that its owner learns how the answer ended; records are appended only when the
    // answer is usable, and the owner removes them again if the answer did not end well.
    static int Read(CAnswerSource& source, CAnswerReader::EListing kind,
                    std::vector<TSyncFile>& files);
    // The same into packed records.
    static int Read(CAnswerSource& source, CAnswerReader::EListing kind, CPackedFiles& files);
};
