#pragma once
// The words a failure is told to the user in. The network, protocol and settings layers have no
// string table: they raise failures that carry what happened (a kind with the host, the server's
// reply or the system's words; a refused certificate's details; the file that could not be
// written), and the texts are composed here from the running program's table.

#include "net/errors.h"
#include "support/string_table.h"

#include <exception>

namespace brevio {

// Why `certificate` did not verify, the library's own words in brackets after it.
QString CertificateProblemText(const TCertificateInfo& certificate, const TStringTable& strings);

// The log entry of a refused certificate: changed from the pinned one, too weak to trust, or not
// trusted; both fingerprints are named where there are two.
QString CertificateRefusalText(const TCertificateInfo& certificate, const TStringTable& strings);

// A failure of the network or protocol layers in the words of `strings`; the peer's own words
// (a server's reply, the system's or the library's) are kept as they came.
QString FailureText(const TFailure& failure, const TStringTable& strings);

// The text of any failure in the words of `strings`; a failure that is none of Brevio's own in
// the words it carries.
QString FailureText(const std::exception& failure, const TStringTable& strings);

}  // namespace brevio
