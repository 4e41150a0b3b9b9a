// The Qt window's system keyring: QtKeychain's jobs, which answer on the
// window's thread through its event loop, so that a keyring slow to answer
// (or waiting for the user to unlock it) never holds the window. A job's
// answer is dropped when the window is gone before it.
#pragma once

#include "keyring.h"

#include <QObject>

class QtKeyring final : public QObject, public zelvar::Keyring {
public:
    using QObject::QObject;
    void find(const std::string &server, std::function<void(zelvar::Kept)> then) override;
    void keep(const std::string &server, const std::string &password, Done then) override;
    void forget(const std::string &server, Done then) override;
};
