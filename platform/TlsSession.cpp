#include "platform/TlsSession.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>

namespace
{

// The one identity both ends offer: the key itself is what they must share.
const unsigned char kIdentity[] = "tethra-link";
constexpr size_t kIdentityLength = sizeof kIdentity - 1;
// Fixed, so that both ends derive the same key from the passphrase; it is the program's
// own, so that tables made against other programs' keys do not fit.
const char kSalt[] = "tethra secure link, key v1";
// scrypt cost: 2^13 x 8 x 128 bytes = 8 MiB (held only while deriving) in 4 passes, about
// 0.1 s per guess. Stations run on small boxes: more memory would more than double a
// station's peak for a moment at every start.
constexpr uint64_t kScryptN = 1u << 13;
constexpr uint64_t kScryptR = 8;
constexpr uint64_t kScryptP = 4;
constexpr uint64_t kScryptMaxMemory = 64u * 1024 * 1024;
// Both suites hash with SHA-256, the hash the key is bound to.
const char kSuites[] = "TLS_AES_128_GCM_SHA256:TLS_CHACHA20_POLY1305_SHA256";
const unsigned char kPskSuite[] = {0x13, 0x01}; // TLS_AES_128_GCM_SHA256
constexpr int kReadChunk = 16 * 1024;

SSL_SESSION *keySession(SSL *ssl)
{
    const auto *session = static_cast<const TlsSession *>(SSL_get_app_data(ssl));
    const SSL_CIPHER *cipher = SSL_CIPHER_find(ssl, kPskSuite);
    SSL_SESSION *result = SSL_SESSION_new();
    if (!result || !cipher ||
        !SSL_SESSION_set1_master_key(
            result, reinterpret_cast<const unsigned char *>(session->key().constData()),
            size_t(session->key().size())) ||
        !SSL_SESSION_set_cipher(result, cipher) ||
        !SSL_SESSION_set_protocol_version(result, TLS1_3_VERSION)) {
        SSL_SESSION_free(result);
        return nullptr;
    }
    return result;
}

int useSession(SSL *ssl, const EVP_MD *, const unsigned char **id, size_t *idLength,
               SSL_SESSION **session)
{
    *session = keySession(ssl);
    *id = kIdentity;
    *idLength = kIdentityLength;
    return *session ? 1 : 0;
}

int findSession(SSL *ssl, const unsigned char *identity, size_t identityLength,
                SSL_SESSION **session)
{
    const bool known = identityLength == kIdentityLength &&
                       std::equal(identity, identity + identityLength, kIdentity);
    *session = known ? keySession(ssl) : nullptr;
    return known && !*session ? 0 : 1;
}

QString libraryReason(const QString &fallback)
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return fallback;
    const char *reason = ERR_reason_error_string(code);
    if (reason)
        return QString::fromLatin1(reason);
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return QString::fromLatin1(text);
}

} // namespace

QByteArray TlsSession::deriveKey(const QByteArray &passphrase)
{
    QByteArray key(kKeyBytes, Qt::Uninitialized);
    const int ok =
        EVP_PBE_scrypt(passphrase.constData(), size_t(passphrase.size()),
                       reinterpret_cast<const unsigned char *>(kSalt), sizeof kSalt - 1, kScryptN,
                       kScryptR, kScryptP, kScryptMaxMemory,
                       reinterpret_cast<unsigned char *>(key.data()), size_t(key.size()));
    return ok == 1 ? key : QByteArray();
}

TlsSession::TlsSession(Role role, const QByteArray &key) : m_key(key)
{
    ERR_clear_error();
    m_context = SSL_CTX_new(role == Role::Client ? TLS_client_method() : TLS_server_method());
    if (!m_context || m_key.size() != kKeyBytes) {
        fail(QStringLiteral("no key"));
        return;
    }
    SSL_CTX_set_min_proto_version(m_context, TLS1_3_VERSION);
    SSL_CTX_set_max_proto_version(m_context, TLS1_3_VERSION);
    // Forward secrecy: a key exchange without (EC)DHE is never allowed.
    SSL_CTX_clear_options(m_context, SSL_OP_ALLOW_NO_DHE_KEX);
    SSL_CTX_set_options(m_context, SSL_OP_NO_TICKET);
    SSL_CTX_set_num_tickets(m_context, 0);
    SSL_CTX_set_ciphersuites(m_context, kSuites);
    if (role == Role::Client)
        SSL_CTX_set_psk_use_session_callback(m_context, useSession);
    else
        SSL_CTX_set_psk_find_session_callback(m_context, findSession);

    m_ssl = SSL_new(m_context);
    BIO *in = BIO_new(BIO_s_mem());
    BIO *out = BIO_new(BIO_s_mem());
    if (!m_ssl || !in || !out) {
        BIO_free(in);
        BIO_free(out);
        fail(QStringLiteral("out of memory"));
        return;
    }
    SSL_set_bio(m_ssl, in, out);
    SSL_set_app_data(m_ssl, this);
    if (role == Role::Client)
        SSL_set_connect_state(m_ssl);
    else
        SSL_set_accept_state(m_ssl);
}

TlsSession::~TlsSession()
{
    SSL_free(m_ssl);
    SSL_CTX_free(m_context);
}

bool TlsSession::start()
{
    return !hasFailed() && advance();
}

bool TlsSession::receive(const QByteArray &raw)
{
    if (hasFailed())
        return false;
    if (!raw.isEmpty() && BIO_write(SSL_get_rbio(m_ssl), raw.constData(), int(raw.size())) <= 0)
        return fail(QStringLiteral("out of memory"));
    return advance();
}

QByteArray TlsSession::takePlain()
{
    return std::exchange(m_plain, QByteArray());
}

bool TlsSession::send(const QByteArray &plain)
{
    if (hasFailed())
        return false;
    if (!m_established || !m_unsentPlain.isEmpty()) {
        m_unsentPlain += plain;
        return true;
    }
    ERR_clear_error();
    for (qsizetype at = 0; at < plain.size();) {
        const int n = SSL_write(m_ssl, plain.constData() + at, int(plain.size() - at));
        if (n <= 0)
            return fail(QStringLiteral("cannot encrypt"));
        at += n;
    }
    return true;
}

QByteArray TlsSession::takeRaw()
{
    if (!m_ssl)
        return {};
    BIO *out = SSL_get_wbio(m_ssl);
    QByteArray raw(int(BIO_ctrl_pending(out)), Qt::Uninitialized);
    if (!raw.isEmpty())
        raw.resize(qMax(BIO_read(out, raw.data(), int(raw.size())), 0));
    return raw;
}

void TlsSession::close()
{
    if (m_established && !hasFailed())
        SSL_shutdown(m_ssl);
}

QString TlsSession::description() const
{
    if (!m_established)
        return {};
    // The group of the ephemeral key exchange; none would mean no forward secrecy.
    const int group = SSL_get_negotiated_group(m_ssl);
    const char *groupName = group > 0 ? SSL_group_to_name(m_ssl, group) : nullptr;
    return QStringLiteral("%1 %2 %3")
        .arg(QString::fromLatin1(SSL_get_version(m_ssl)),
             QString::fromLatin1(SSL_get_cipher_name(m_ssl)),
             QString::fromLatin1(groupName ? groupName : "none"));
}

bool TlsSession::advance()
{
    ERR_clear_error();
    if (!m_established) {
        const int rc = SSL_do_handshake(m_ssl);
        if (rc != 1) {
            const int reason = SSL_get_error(m_ssl, rc);
            if (reason == SSL_ERROR_WANT_READ || reason == SSL_ERROR_WANT_WRITE)
                return true;
            return fail(QStringLiteral("handshake failed"));
        }
        m_established = true;
        if (!send(std::exchange(m_unsentPlain, QByteArray())))
            return false;
    }
    char chunk[kReadChunk];
    for (;;) {
        const int n = SSL_read(m_ssl, chunk, sizeof chunk);
        if (n > 0) {
            m_plain.append(chunk, n);
            // Nothing more to decrypt: spare the call that would only say so.
            if (SSL_pending(m_ssl) == 0 && BIO_ctrl_pending(SSL_get_rbio(m_ssl)) == 0)
                return true;
            continue;
        }
        const int reason = SSL_get_error(m_ssl, n);
        if (reason == SSL_ERROR_WANT_READ)
            return true;
        if (reason == SSL_ERROR_ZERO_RETURN) {
            m_peerClosed = true;
            return true;
        }
        return fail(QStringLiteral("cannot decrypt"));
    }
}

bool TlsSession::fail(const QString &fallback)
{
    if (m_error.isEmpty())
        m_error = libraryReason(fallback);
    return false;
}
