#include "help/HelpTexts.h"

#include <QStringList>

namespace HelpTexts
{

namespace
{

constexpr char kLineBreak[] = "\r\n";
constexpr char kNoticeBreak[] = "\r";

// clang-format off
// The lines are kept exactly as shown, blanks included; the formatter must not touch them.
constexpr const char *kTipsLines[] = {
    "If you're using a local/fast network select",
    "the FAST-CONNECT option under Network Setup.",
    "",
    "To further help speed up initial connection use",
    "actual IP addresses and not the Host's Name.",
    "",
    "RS232 data is fully buffered with 32K byte RX/TX",
    "buffers reducing the possibility of data loss.",
    "",
    "All settings are saved on exit. When run again,",
    "TETHRA will try to reconnect immediately, using",
    "these previous settings.",
    "",
    "Use the LOG-TRAFFIC feature to copy all RS232",
    "RX/TX data traffic into log files so that another",
    "program can process the communications data in",
    "realtime.",
};

constexpr const char *kRs232PortLines[] = {
    "SELECTED-COMM-PORT ... Select the COMM port that TETHRA will bind to.",
    "                                            Only available (unused) COMM ports will appear in the list.",
    "",
    "LOG-TRAFFIC ... Displays setup window for logging RS232 RX/TX Traffic.",
    "",
    "DATA-BITS ..... Set the number of data bits.",
    "STOP-BITS ..... Set the number of stop bits.",
    "PARITY ........   Set the type of parity checking.",
    "BAUD-RATE ... Set the speed of transmission.",
    "",
    "FLOW-CONTROL .. Xon/Xoff - Software Handshaking",
    "                                Hardware - use RTS/CTS handshaking",
    "                                None - No handshaking",
    "",
    "The RS232 communications port is managed under interrupt together with ",
    "32K byte RX and TX buffers.  The network communications is also buffered virtually",
    "eliminating the need for Flow-Control handshaking.",
};

constexpr const char *kSecurityLines[] = {
    "ACCEPT CALLS .. ONLY FROM THE REMOTE HOST: calls from any other",
    "  address are refused before one of their bytes is read,",
    "  and noted in the Status History. With no remote host",
    "  (server mode) calls are accepted from anyone.",
    "",
    "PASSPHRASE .... set the SAME passphrase at BOTH ends to encrypt",
    "  the link (TLS 1.3). Each end then proves it knows the",
    "  passphrase; a peer without it cannot connect. Leave it",
    "  empty for a plain link. Use a long passphrase: a short one",
    "  can be guessed by someone who recorded the traffic.",
    "  A new passphrase applies from the next connection.",
    "",
    "The padlock beside the Status shows a secure link.",
};

constexpr const char *kNetworkLines[] = {
    "IP-ADDRESS ... select your physical network adaptor by referencing",
    " it's IP address.",
    "",
    "CHECK-IP ..... click button to check the IP address of your available",
    " network adaptors.",
    "",
    "FAST-RECONNECT .. for local/fast computer networks, TICK this box to",
    " enable faster negotiation of connections.",
    "",
    "RUN-IN-SERVER ... normally Tethra alternates between Server",
    "MODE-ONLY           and Client modes to try to make a connection.",
    "  By setting this Check box you can force this",
    "  end to always remain as the Server and wait",
    "  for the other end to make the connection.",
    "",
    "PORT-NUMBER ... like a channel number (or pipe), it is used to carry",
    "  the data across the network. 512 to 1023 are RESERVED.",
    "  Best to use Port numbers above 1023.",
    "",
    "NAME/IP ....... enter the IP address of the remote system you want to",
    "  connect to. You can also enter the NAME of the remote",
    "  system and the actual IP address will be auto-resolved.",
    "",
    "AUTO-RESOLVE .. tick box to automatically resolve the",
    "  IP address for the given host name.",
};

constexpr const char *kTrafficLoggingLines[] = {
    "Rx Data Logging ... sets the file used to record all data",
    "                                received on the RS232 comm port.",
    "",
    "Tx Data Logging ... sets the file used to record all data",
    "                                transmitted by the RS232 comm port.",
    "",
    "New data is appended to the log file at 50msec intervals.",
    "If the file does not exist it will be created. The log files",
    "can be used to copy all communications data to another",
    "program via these log files. TETHRA is share tolerant",
    "allowing the log files to be renamed, read and then deleted",
    "by another program in realtime on a polling basis.",
    "",
    "CLEAR-LOG-FILES ... clears out (purges) the contents of",
    "                                    both RX and TX log files.",
    "                                    NOTE: Log files are also cleared",
    "                                    automatically when Tethra starts.",
};
// clang-format on

template <std::size_t N> QString joined(const char *const (&lines)[N])
{
    QStringList list;
    list.reserve(static_cast<qsizetype>(N));
    for (const char *line : lines)
        list.append(QString::fromLatin1(line));
    return list.join(QLatin1String(kLineBreak));
}

} // namespace

QString tips()
{
    return joined(kTipsLines);
}

QString rs232Port()
{
    return joined(kRs232PortLines);
}

QString network()
{
    return joined(kNetworkLines);
}

QString security()
{
    return joined(kSecurityLines);
}

QString trafficLogging()
{
    return joined(kTrafficLoggingLines);
}

QString aboutDescription()
{
    // Two blanks after the first, second and sixth full stop, as the text has always read.
    return QStringLiteral(
        "Use the TCP/IP network (Local or Internet) to transport RS232 full-duplex data "
        "communications between two Win95/98 computers.  The nominated COM port at each end "
        "become connected together as if hard-wired, transparent to the external equipment "
        "using the RS232 link.  Supports multiple network adaptors (dial-up and local IPs). "
        "Auto-Connect across network with retries. View Rx/Tx data traffic. Auto "
        "Client/Server Management.  Control local/remote Loop-back testing all from one end.");
}

QString titleLine(int major, int minor, int revision)
{
    return QLatin1String(kProgramTitle) + QStringLiteral(" v") + QString::number(major) +
           QLatin1Char('.') + QString::number(minor) + QString::number(revision);
}

QString aboutNotice()
{
    const QStringList lines = {
        QStringLiteral("Free to use and to pass on, at your own risk and without warranty."),
        QString(),
        QStringLiteral("    - SocketWrench 2.5"),
        QStringLiteral("    - Catalyst Development Corporation"),
    };
    return lines.join(QLatin1String(kNoticeBreak));
}

} // namespace HelpTexts
