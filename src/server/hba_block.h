#pragma once
// typelab's lines of pg_hba.conf, kept between two marker lines at the top of the file, where
// the first matching line decides: setup writes the block again in place of an earlier one and
// leaves every other line as it was. pg_ident.conf gets a block of the same kind: the map that
// lets the system user typelab-verify in as the role typelab_verify.

#include <QString>

namespace HbaBlock {

inline const char* const kBegin = "# typelab-server: begin (setup writes these lines; edits between the markers are lost)";
inline const char* const kEnd = "# typelab-server: end";

// The system user the verifier runs as, and the pg_ident.conf map that names it.
inline const char* const kVerifyUser = "typelab-verify";
inline const char* const kVerifyMap = "typelab_verify";

// The block for a cluster whose owner is owner.
QString text(const QString& owner);
// The block of pg_ident.conf.
QString identText();
// The file (either) with the block at its top, instead of any earlier block.
QString merge(const QString& file, const QString& block);

} // namespace HbaBlock
