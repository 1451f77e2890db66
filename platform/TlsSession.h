#pragma once
// One end of a TLS 1.3 conversation over bytes that someone else carries: the socket hands
// in what came from the peer and sends what comes out. Nothing blocks and nothing here
// touches a descriptor, so the one event-loop thread drives it.
//
// Principles of operation
// - Both ends prove that they hold the same key, derived from the passphrase, as an
//   external pre-shared key; no certificate is involved. The handshake also agrees an
//   ephemeral (EC)DHE key: the pre-shared key alone never protects the traffic, so a
//   passphrase learnt later does not open a recorded session.
// - TLS 1.3 only, AES-128-GCM or ChaCha20-Poly1305, without session tickets.
// - Plain bytes written before the handshake is done wait here, bounded by the caller;
//   not one of them goes out until both ends have proved the key.
// - A failure is final: error() then holds the library's reason.
#include <QByteArray>
#include <QString>

#include <memory>

struct ssl_ctx_st;
struct ssl_st;

class TlsSession final
{
public:
    enum class Role { Client, Server };
    static constexpr int kKeyBytes = 32;

    // The key for a passphrase, by scrypt with the program's own salt: a slow derivation
    // (about 0.1 s, 8 MiB) so that guessing passphrases costs an attacker as much. Empty
    // on failure.
    static QByteArray deriveKey(const QByteArray &passphrase);

    TlsSession(Role role, const QByteArray &key);
    ~TlsSession();
    Q_DISABLE_COPY_MOVE(TlsSession)

    // The client's first flight; the server waits for it.
    bool start();
    // Bytes as they came from the peer. False when the session has failed.
    bool receive(const QByteArray &raw);
    // Decrypted bytes received so far.
    QByteArray takePlain();
    // Encrypts the bytes, or keeps them until the handshake is done.
    bool send(const QByteArray &plain);
    // Records to put on the wire, in order.
    QByteArray takeRaw();
    // Ends the stream with a close notification (after the bytes written so far).
    void close();

    bool isEstablished() const { return m_established; }
    bool hasFailed() const { return !m_error.isEmpty(); }
    // The peer ended the stream with a close notification.
    bool peerClosed() const { return m_peerClosed; }
    qsizetype pendingPlainBytes() const { return m_unsentPlain.size(); }
    QString error() const { return m_error; }
    // Protocol, cipher and key-exchange group, such as "TLSv1.3 TLS_AES_128_GCM_SHA256 x25519".
    QString description() const;

    // Bound to the callbacks of the library; not for other use.
    const QByteArray &key() const { return m_key; }

private:
    bool advance();
    bool fail(const QString &fallback);

    QByteArray m_key;
    ssl_ctx_st *m_context = nullptr;
    ssl_st *m_ssl = nullptr;
    QByteArray m_plain;
    QByteArray m_unsentPlain;
    bool m_established = false;
    bool m_peerClosed = false;
    QString m_error;
};
