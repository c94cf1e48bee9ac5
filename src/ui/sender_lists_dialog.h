#pragma once
// A small dialog to edit the friends and spammers lists: one address or domain per line. OK
// keeps the valid entries (see TSenderLists); lines that are neither an address nor a domain are
// dropped.

#include <QDialog>

#include "settings/sender_lists.h"

class QLabel;
class QPlainTextEdit;

namespace brevio {

class TFooter;
class TFooterBtn;

class TfrmSenderLists : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSenderLists(const TSenderLists& lists, QWidget* parent = nullptr);

    // The lists as the fields hold them now.
    TSenderLists Lists() const;

    QLabel* lblFriends = nullptr;
    QPlainTextEdit* memFriends = nullptr;
    QLabel* lblSpammers = nullptr;
    QPlainTextEdit* memSpammers = nullptr;
    TFooter* Footer1 = nullptr;
    TFooterBtn* btnOK = nullptr;
    TFooterBtn* btnCancel = nullptr;
};

}  // namespace brevio
