#include "qtkeyring.h"

#include <qt6keychain/keychain.h>

namespace {

QString service() { return QString::fromUtf8(zelvar::kKeyringService); }

// Starts `job` for `server`; `then` hears how it ended, if this keyring still
// lives then.
template <class Job, class Then>
void start(QObject *owner, Job *job, const std::string &server, Then then) {
    job->setAutoDelete(true);
    job->setKey(QString::fromStdString(server));
    QObject::connect(job, &QKeychain::Job::finished, owner,
                     [then = std::move(then)](QKeychain::Job *done) { then(*done); });
    job->start();
}

std::string why(const QKeychain::Job &job) {
    return job.error() == QKeychain::NoError ? std::string() : job.errorString().toStdString();
}

}  // namespace

void QtKeyring::find(const std::string &server, std::function<void(zelvar::Kept)> then) {
    start(this, new QKeychain::ReadPasswordJob(service()), server,
          [then = std::move(then)](QKeychain::Job &done) {
              auto &read = static_cast<QKeychain::ReadPasswordJob &>(done);
              // Nothing kept is a keyring that answered; any other error,
              // none to keep a password in.
              if (read.error() == QKeychain::NoError)
                  then({read.textData().toStdString(), true});
              else
                  then({std::nullopt, read.error() == QKeychain::EntryNotFound});
          });
}

void QtKeyring::keep(const std::string &server, const std::string &password, Done then) {
    auto *job = new QKeychain::WritePasswordJob(service());
    job->setTextData(QString::fromStdString(password));
    start(this, job, server, [then = std::move(then)](QKeychain::Job &done) { then(why(done)); });
}

void QtKeyring::forget(const std::string &server, Done then) {
    start(this, new QKeychain::DeletePasswordJob(service()), server,
          [then = std::move(then)](QKeychain::Job &done) {
              then(done.error() == QKeychain::EntryNotFound ? std::string() : why(done));
          });
}
