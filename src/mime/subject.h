// SPDX-License-Identifier: GPL-3.0-or-later
// A subject split into its reply or forward prefix and the rest
// ([MS-OXCMSG] 2.2.1.9 PidTagSubjectPrefix, 2.2.1.10 PidTagNormalizedSubject).
#pragma once

#include <string>

namespace mime::detail {

struct SubjectParts {
  std::string prefix;      // "RE: ", "Fwd: ", or ""
  std::string normalized;  // the subject without the prefix
};

// The prefix is one to three characters, none of them a digit, space or
// colon, followed by ":" and one space: "RE: ", "AW: ", "Fwd: ".
SubjectParts SplitSubject(const std::string& subject);

}  // namespace mime::detail
