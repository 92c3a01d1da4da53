#include "platform/gui/desktop/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/gui/qt_text.h"

namespace zfw {
namespace {

constexpr int kMaxMessage = 16;

std::string runtimeDirectory(const std::string& configured) {
  if (!configured.empty()) return configured;
  if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && *xdg) return xdg;
  // No session directory: a private one of our own, as the session's would be.
  const std::string dir = fromQString(QDir::tempPath()) + "/zelcon-runtime-" + std::to_string(getuid());
  mkdir(dir.c_str(), 0700);
  struct stat st = {};
  if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) return {};
  return dir;
}

}  // namespace

struct LocalSingleInstance::Impl {
  std::string configured;
  std::string lockPath;
  std::string socketPath;
  std::unique_ptr<QLockFile> lock;
  std::unique_ptr<QLocalServer> server;
};

LocalSingleInstance::LocalSingleInstance(std::string directory) : d_(std::make_unique<Impl>()) {
  d_->configured = std::move(directory);
}

LocalSingleInstance::~LocalSingleInstance() { release(); }

std::string LocalSingleInstance::key(const std::string& name) {
  const QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(name), QCryptographicHash::Sha1);
  return "zelcon-" + hash.toHex().left(16).toStdString();
}

bool LocalSingleInstance::parseMessage(const std::string& line, uint32_t& code) {
  std::string text = line;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (text.empty() || text.size() > 10) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > UINT32_MAX) return false;
  code = static_cast<uint32_t>(value);
  return true;
}

ISingleInstance::Claim LocalSingleInstance::claim(const std::string& name, std::function<void(uint32_t)> onMessage) {
  const std::string dir = runtimeDirectory(d_->configured);
  if (dir.empty()) return Claim::Failed;
  const std::string stem = dir + "/" + key(name);
  d_->lockPath = stem + ".lock";
  d_->socketPath = stem + ".sock";
  d_->lock = std::make_unique<QLockFile>(toQString(d_->lockPath));
  // A lock is stale only when its process is gone, never by age: the instance may run for weeks.
  d_->lock->setStaleLockTime(0);
  if (!d_->lock->tryLock(0)) {
    const QLockFile::LockError error = d_->lock->error();
    d_->lock.reset();
    return error == QLockFile::LockFailedError ? Claim::Second : Claim::Failed;
  }
  QLocalServer::removeServer(toQString(d_->socketPath));  // left by a first instance that crashed
  d_->server = std::make_unique<QLocalServer>();
  d_->server->setSocketOptions(QLocalServer::UserAccessOption);
  if (!d_->server->listen(toQString(d_->socketPath))) {
    d_->server.reset();
    return Claim::First;  // still the instance; later starts just cannot reach it
  }
  QLocalServer* server = d_->server.get();
  QObject::connect(server, &QLocalServer::newConnection, server, [server, onMessage] {
    while (QLocalSocket* socket = server->nextPendingConnection()) {
      QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, onMessage] {
        if (!socket->canReadLine()) {
          if (socket->bytesAvailable() > kMaxMessage) socket->abort();
          return;
        }
        uint32_t code = 0;
        const bool valid = parseMessage(socket->readLine(kMaxMessage + 1).toStdString(), code);
        socket->disconnectFromServer();
        if (valid && onMessage) onMessage(code);
      });
    }
  });
  return Claim::First;
}

bool LocalSingleInstance::sendToFirst(uint32_t code) {
  if (d_->socketPath.empty()) return false;
  // The first instance may still be starting: give it a moment to listen.
  for (int attempt = 0; attempt < 20; ++attempt) {
    QLocalSocket socket;
    socket.connectToServer(toQString(d_->socketPath));
    if (socket.waitForConnected(100)) {
      socket.write(QByteArray::number(code) + '\n');
      const bool sent = socket.waitForBytesWritten(1000);
      socket.disconnectFromServer();
      return sent;
    }
    usleep(100'000);
  }
  return false;
}

void LocalSingleInstance::release() {
  if (d_->server) {
    d_->server->close();
    d_->server.reset();
  }
  if (d_->lock) {
    d_->lock->unlock();
    d_->lock.reset();
  }
}

}  // namespace zfw
