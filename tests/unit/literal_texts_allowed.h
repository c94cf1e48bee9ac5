#pragma once
// The texts of src/ that may reach the user as written in the code (see literal_texts_test.cpp).
// Paths are relative to src/; a text is written as it stands between the quotes of the source.

#include <array>

namespace brevio::test {

struct TAllowedText {
    const char* File;
    const char* Text;
};

// Built-in window titles that the window's own section replaces by its Caption (the sections
// carry other words, so the lang.ENG rule of the test does not find them).
inline constexpr std::array<TAllowedText, 2> kFormDefaults{{
    {"ui/log_window.cpp", "Log"},
    {"ui/usage_statistics_dialog.cpp", "VEQ labs Brevio usage statistics"},
}};

// Failures that are raised and caught inside the code and never shown: the address parser's
// (an address it cannot read is shown as written), and an IMAP4 folder's listing refused (the
// check logs the table's text for it instead).
inline constexpr std::array<TAllowedText, 2> kInternalTexts{{
    {"mime/email_address.cpp", "@ Outside address"},
    {"engine/mailbox_imap4.cpp", "The server refused to list the messages of a folder."},
}};

// Protocol words that the sign-in failures name inside a translated sentence: the mechanisms
// the server would have to offer.
inline constexpr std::array<TAllowedText, 2> kProtocolWords{{
    {"imap/imap_sasl.cpp", "AUTH=OAUTHBEARER, AUTH=XOAUTH2"},
    {"pop3/pop3_sasl.cpp", "SASL OAUTHBEARER, XOAUTH2"},
}};

}  // namespace brevio::test
