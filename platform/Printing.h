#pragma once
// Printing plain text after the user chose a printer.
#include <QString>

class QPrinter;
class QWidget;

class Printing
{
public:
    virtual ~Printing() = default;
    // Offers the system print dialog (no page ranges, no selection option, no print to
    // file) and prints the text. Returns false when the dialog was cancelled or failed;
    // nothing is printed then.
    virtual bool printText(QWidget *owner, const QString &text) = 0;
};

// Lays the text out as plain text on the printer's pages; false when the printer failed.
bool printPlainText(QPrinter &printer, const QString &text);

class DesktopPrinting final : public Printing
{
public:
    bool printText(QWidget *owner, const QString &text) override;
};
