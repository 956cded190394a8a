#include "mail/SMTPSecureSocket.h"

#include <sys/socket.h>
#include <unistd.h>

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

#include "app/EstensioniUtili.h"

namespace vantrix::mail {

namespace {

// libcurl's results and the transport codes they become. A result that is
// not listed is kOther.
struct TransportMapping {
  CURLcode curl;
  int code;
};
constexpr TransportMapping kTransportCodes[] = {
    {CURLE_OK, TransportError::kNone},
    {CURLE_COULDNT_CONNECT, TransportError::kCouldNotConnect},
    {CURLE_COULDNT_RESOLVE_HOST, TransportError::kHostNotResolved},
    {CURLE_COULDNT_RESOLVE_PROXY, TransportError::kHostNotResolved},
    {CURLE_GOT_NOTHING, TransportError::kConnectionLost},
    {CURLE_RECV_ERROR, TransportError::kConnectionLost},
    {CURLE_SEND_ERROR, TransportError::kConnectionLost},
    {CURLE_PARTIAL_FILE, TransportError::kConnectionLost},
    {CURLE_OPERATION_TIMEDOUT, TransportError::kTimedOut},
    {CURLE_USE_SSL_FAILED, TransportError::kStartTlsNotOffered},
    {CURLE_PEER_FAILED_VERIFICATION, TransportError::kTlsFailed},
    {CURLE_SSL_CONNECT_ERROR, TransportError::kTlsFailed},
    {CURLE_SSL_CACERT_BADFILE, TransportError::kTlsFailed},
    {CURLE_SSL_CERTPROBLEM, TransportError::kTlsFailed},
    {CURLE_SSL_CIPHER, TransportError::kTlsFailed},
    {CURLE_SSL_ISSUER_ERROR, TransportError::kTlsFailed},
    {CURLE_SSL_INVALIDCERTSTATUS, TransportError::kTlsFailed},
    {CURLE_SSL_PINNEDPUBKEYNOTMATCH, TransportError::kTlsFailed},
    {CURLE_SSL_CRL_BADFILE, TransportError::kTlsFailed},
    {CURLE_SSL_CLIENTCERT, TransportError::kTlsFailed},
};

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The relay's last reply, as the debug callback sees the lines come in.
struct Reply {
  int code = 0;
  QByteArray lines;
  bool complete = true;

  void Add(QByteArray line) {
    while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
    if (complete) lines.clear();
    if (!lines.isEmpty()) lines += '\n';
    lines += line;
    const bool numbered =
        line.size() >= 3 &&
        std::all_of(line.begin(), line.begin() + 3, [](char c) { return c >= '0' && c <= '9'; });
    if (numbered) code = line.left(3).toInt();
    // "250-..." announces more lines; "250 ..." or "250" is the last.
    complete = !(numbered && line.size() > 3 && line[3] == '-');
  }
};

// The socket of a batch's connection, which Disconnect shuts down from
// the user-interface thread: every wait of libcurl on it ends at once,
// whatever libcurl is doing (an unfinished upload that is taken out of the
// multi handle, for one, would otherwise wait for the relay's reply to its
// end of data, and the QUIT at the end for the reply to QUIT).
struct SharedSocket {
  std::mutex mutex;
  curl_socket_t fd = CURL_SOCKET_BAD;
  bool shutDown = false;

  void ShutDown() {
    const std::lock_guard lock(mutex);
    shutDown = true;
    if (fd != CURL_SOCKET_BAD) ::shutdown(fd, SHUT_RDWR);
  }
};

// What the libcurl callbacks of a batch share with the sending thread.
struct Transfer {
  SharedSocket* socket = nullptr;
  QByteArray source;
  qsizetype offset = 0;
  Reply reply;
  // The relay has greeted: the batch's one connection is up.
  bool connected = false;
  // libcurl wanted a second connection (the first was lost between two
  // messages) and was refused it.
  bool secondConnectionRefused = false;
  // The client has said QUIT.
  bool quitting = false;
  std::function<void()> onGreeting;
};

size_t ReadSource(char* buffer, size_t size, size_t count, void* userdata) {
  auto* transfer = static_cast<Transfer*>(userdata);
  const qsizetype room = static_cast<qsizetype>(size * count);
  const qsizetype n = std::min(room, transfer->source.size() - transfer->offset);
  std::memcpy(buffer, transfer->source.constData() + transfer->offset, static_cast<size_t>(n));
  transfer->offset += n;
  return static_cast<size_t>(n);
}

int Debug(CURL* /*handle*/, curl_infotype type, char* data, size_t size, void* userdata) {
  auto* transfer = static_cast<Transfer*>(userdata);
  // After a refusal libcurl says QUIT in the same transfer: the reply that
  // matters is the one before it.
  if (type == CURLINFO_HEADER_OUT && size >= 4 && std::memcmp(data, "QUIT", 4) == 0) {
    transfer->quitting = true;
  }
  if (type != CURLINFO_HEADER_IN || transfer->quitting) return 0;
  const QByteArray text(data, static_cast<qsizetype>(size));
  for (const QByteArray& line : text.split('\n')) {
    if (!line.isEmpty() && line != "\r") transfer->reply.Add(line);
  }
  if (!transfer->connected) {
    transfer->connected = true;
    if (transfer->onGreeting) transfer->onGreeting();
  }
  return 0;
}

// A batch is one connection: once it is up, libcurl may not open another
// (it would, silently, if the relay closed the first between two messages).
curl_socket_t OpenSocket(void* userdata, curlsocktype /*purpose*/, curl_sockaddr* address) {
  auto* transfer = static_cast<Transfer*>(userdata);
  if (transfer->connected) {
    transfer->secondConnectionRefused = true;
    return CURL_SOCKET_BAD;
  }
  SharedSocket& shared = *transfer->socket;
  const std::lock_guard lock(shared.mutex);
  if (shared.shutDown) return CURL_SOCKET_BAD;
  shared.fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
  return shared.fd;
}

int CloseSocket(void* userdata, curl_socket_t fd) {
  SharedSocket& shared = *static_cast<SharedSocket*>(userdata);
  const std::lock_guard lock(shared.mutex);
  if (shared.fd == fd) shared.fd = CURL_SOCKET_BAD;
  return ::close(fd);
}

std::string Bracketed(const QString& address) {
  QString a = address.trimmed();
  if (!a.startsWith(u'<')) a = u'<' + a + u'>';
  return a.toStdString();
}

}  // namespace

int TransportErrorCode(int curlCode, bool pending) {
  int code = TransportError::kOther;
  for (const TransportMapping& mapping : kTransportCodes) {
    if (mapping.curl == curlCode) code = mapping.code;
  }
  if (code == TransportError::kConnectionLost && !pending) return TransportError::kClosedWhenIdle;
  return code;
}

void MessageList::Append(const EmailMessage& message) {
  const std::lock_guard lock(mutex_);
  items_.append(message);
}

std::optional<EmailMessage> MessageList::TakeFirst() {
  const std::lock_guard lock(mutex_);
  if (items_.isEmpty()) return std::nullopt;
  return items_.takeFirst();
}

QList<EmailMessage> MessageList::Snapshot() const {
  const std::lock_guard lock(mutex_);
  return items_;
}

qsizetype MessageList::Count() const {
  const std::lock_guard lock(mutex_);
  return items_.size();
}

void MessageList::Clear() {
  const std::lock_guard lock(mutex_);
  items_.clear();
}

// One batch on its way: the settings it started with, its thread, and what
// Disconnect needs to stop it.
struct SMTPSecureSocket::Batch {
  std::string url;
  std::string username;
  std::string password;
  std::string caFile;
  long timeoutSeconds = 60;

  std::atomic<bool> abort{false};
  SharedSocket socket;
  // The multi handle while the thread has one, so that Disconnect can wake
  // it from its wait. Guarded by multiMutex.
  std::mutex multiMutex;
  CURLM* multi = nullptr;
  std::thread thread;
};

SMTPSecureSocket::SMTPSecureSocket(QObject* parent) : QObject(parent) {}

SMTPSecureSocket::~SMTPSecureSocket() { Disconnect(); }

std::optional<EmailMessage> SMTPSecureSocket::MessageInTransit() const {
  const std::lock_guard lock(mutex_);
  return inTransit_;
}

int SMTPSecureSocket::LastErrorCode() const {
  const std::lock_guard lock(mutex_);
  return lastErrorCode_;
}

void SMTPSecureSocket::SendMail() {
  if (batch_ || disconnected_) return;
  InitCurlOnce();
  auto batch = std::make_shared<Batch>();
  const QString host = Address.contains(u':') ? u'[' + Address + u']' : Address;
  batch->url = QStringLiteral("smtp://%1:%2").arg(host).arg(Port).toStdString();
  batch->username = Username.toStdString();
  batch->password = Password.toStdString();
  batch->caFile = CAFile.toStdString();
  batch->timeoutSeconds = std::max(1, TimeoutSeconds);
  batch_ = batch;
  batch->thread = std::thread([this, batch] { Run(batch); });
}

void SMTPSecureSocket::Disconnect() {
  disconnected_ = true;
  if (!batch_) return;
  batch_->abort = true;
  batch_->socket.ShutDown();
  {
    const std::lock_guard lock(batch_->multiMutex);
    if (batch_->multi) curl_multi_wakeup(batch_->multi);
  }
  if (batch_->thread.joinable()) batch_->thread.join();
}

void SMTPSecureSocket::Post(std::function<void()> event) {
  QMetaObject::invokeMethod(
      this,
      [this, event = std::move(event)] {
        if (!disconnected_) event();
      },
      Qt::QueuedConnection);
}

void SMTPSecureSocket::Run(const std::shared_ptr<Batch>& batch) {
  Transfer transfer;
  transfer.socket = &batch->socket;
  transfer.onGreeting = [this] { Post([this] { Q_EMIT ConnectionEstablished(); }); };

  CURL* easy = curl_easy_init();
  CURLM* multi = curl_multi_init();
  {
    const std::lock_guard lock(batch->multiMutex);
    batch->multi = multi;
  }
  curl_easy_setopt(easy, CURLOPT_URL, batch->url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "smtp");
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  // STARTTLS or nothing; the version is negotiated; the certificate and the
  // host name are checked.
  curl_easy_setopt(easy, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
  curl_easy_setopt(easy, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_DEFAULT));
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!batch->caFile.empty()) {
    curl_easy_setopt(easy, CURLOPT_CAINFO, batch->caFile.c_str());
    curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
  }
  curl_easy_setopt(easy, CURLOPT_USERNAME, batch->username.c_str());
  curl_easy_setopt(easy, CURLOPT_PASSWORD, batch->password.c_str());
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, batch->timeoutSeconds);
  curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, batch->timeoutSeconds);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, batch->timeoutSeconds);
  curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(easy, CURLOPT_READFUNCTION, ReadSource);
  curl_easy_setopt(easy, CURLOPT_READDATA, &transfer);
  // The relay's replies are read through the debug callback, which only
  // runs in verbose mode; nothing is printed.
  curl_easy_setopt(easy, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(easy, CURLOPT_DEBUGFUNCTION, Debug);
  curl_easy_setopt(easy, CURLOPT_DEBUGDATA, &transfer);
  curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
  curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, &transfer);
  curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, CloseSocket);
  curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, &batch->socket);

  // How the batch ended; the event is posted once libcurl has let go of the
  // connection.
  std::function<void()> end = [this] { Q_EMIT MailSent(); };
  curl_slist* recipients = nullptr;
  while (!batch->abort) {
    std::optional<EmailMessage> message = Messages.TakeFirst();
    if (!message) break;
    {
      const std::lock_guard lock(mutex_);
      inTransit_ = message;
    }
    transfer.source = message->Source();
    transfer.offset = 0;
    transfer.reply = Reply();
    transfer.quitting = false;
    curl_slist_free_all(recipients);
    recipients = nullptr;
    for (const QString& to : message->ToAddresses) {
      recipients = curl_slist_append(recipients, Bracketed(to).c_str());
    }
    const std::string from = Bracketed(message->FromAddress);
    curl_easy_setopt(easy, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(easy, CURLOPT_MAIL_RCPT, recipients);
    curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE,
                     static_cast<curl_off_t>(transfer.source.size()));

    curl_multi_add_handle(multi, easy);
    CURLcode result = CURLE_OK;
    bool done = false;
    while (!done && !batch->abort) {
      int running = 0;
      if (curl_multi_perform(multi, &running) != CURLM_OK) {
        result = CURLE_FAILED_INIT;
        done = true;
        break;
      }
      int queued = 0;
      while (CURLMsg* info = curl_multi_info_read(multi, &queued)) {
        if (info->msg == CURLMSG_DONE) {
          result = info->data.result;
          done = true;
        }
      }
      if (!done) curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
    // An unfinished transfer is taken out only after Disconnect has shut
    // its socket down, so libcurl's attempt to finish it fails at once.
    curl_multi_remove_handle(multi, easy);
    if (!done) break;

    if (result == CURLE_OK) {
      {
        const std::lock_guard lock(mutex_);
        inTransit_.reset();
      }
      Post([this] { Q_EMIT MessageSent(); });
      continue;
    }
    // A refusal of the relay carries its reply; the relay that will not
    // start TLS is a transport failure whatever it replied.
    if (result != CURLE_USE_SSL_FAILED && transfer.reply.code >= 400) {
      const int code = transfer.reply.code;
      const QString text = EstensioniUtili::definisciCodificaStringa(std::string_view(
          transfer.reply.lines.constData(), static_cast<size_t>(transfer.reply.lines.size())));
      end = [this, code, text, refused = *message] { Q_EMIT ServerError(code, text, refused); };
    } else {
      const int code = transfer.secondConnectionRefused ? TransportError::kConnectionLost
                                                        : TransportErrorCode(result, true);
      {
        const std::lock_guard lock(mutex_);
        lastErrorCode_ = code;
      }
      end = [this] { Q_EMIT Error(); };
    }
    break;
  }

  {
    const std::lock_guard lock(batch->multiMutex);
    batch->multi = nullptr;
  }
  // Closes the connection; a live one says QUIT first.
  curl_multi_cleanup(multi);
  curl_easy_cleanup(easy);
  curl_slist_free_all(recipients);
  if (!batch->abort) Post(std::move(end));
}

}  // namespace vantrix::mail
