#include "knot_names.h"

#include "gui_test_support.h"

#include "about_dlg.h"
#include "ex_file_dialog.h"
#include "operator_texts.h"
#include "variant_profile.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

const VariantProfile& ProfileOf(const QString& model) {
    return model == QLatin1String("p") ? VariantPProfile() : VariantQProfile();
}

ModalAnswerer::ModalAnswerer() {
    m_timer.setInterval(1);
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::AnswerModal);
    m_timer.start();
}

QStringList ModalAnswerer::BoxTexts() const {
    QStringList texts;
    for (const Box& box : boxes) {
        texts << box.text;
    }
    return texts;
}

void ModalAnswerer::AnswerModal() {
    if (m_answering) {
        return; // a callback of ours is running a nested loop
    }
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) {
        return;
    }
    m_answering = true;
    if (whileModalOpen) {
        whileModalOpen(*modal);
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        boxes.push_back({box->windowTitle(), box->text(), box->icon()});
        box->button(QMessageBox::Ok)->click();
    } else if (auto* chooser = qobject_cast<CExFileDialog*>(modal)) {
        ++choosersShown;
        if (fileToChoose.isEmpty()) {
            ++choosersCancelled;
            chooser->reject();
        } else {
            chooser->selectFile(fileToChoose);
            static_cast<QDialog*>(chooser)->accept(); // the chooser's Open button
        }
    } else if (auto* about = qobject_cast<CAboutDlg*>(modal)) {
        aboutCaptions.push_back(about->windowTitle());
        aboutFirstLines.push_back(
            about->findChild<QLabel*>(QStringLiteral("aboutFirstLine"))->text());
        about->reject();
    }
    m_answering = false;
}

namespace {

// One S1 (16-bit address) or S3 (32-bit address) record.
QByteArray Record(std::uint32_t address, const QByteArray& data) {
    const bool wide = address > 0xFFFF;
    QByteArray bytes;
    const int addressBytes = wide ? 4 : 2;
    bytes.append(static_cast<char>(addressBytes + data.size() + 1));
    for (int shift = (addressBytes - 1) * 8; shift >= 0; shift -= 8) {
        bytes.append(static_cast<char>((address >> shift) & 0xFF));
    }
    bytes.append(data);
    unsigned sum = 0;
    for (char byte : bytes) {
        sum += static_cast<unsigned char>(byte);
    }
    bytes.append(static_cast<char>(~sum & 0xFF));
    return QByteArray(wide ? "S3" : "S1") + bytes.toHex().toUpper() + "\r\n";
}

QByteArray Pattern(int size, int seed) {
    QByteArray data;
    for (int i = 0; i < size; ++i) {
        data.append(static_cast<char>((i * 7 + seed) & 0x7F)); // never a blank 0xFF block
    }
    return data;
}

} // namespace

bool WriteSRecordFile(const QString& path, const VariantProfile& profile, int cpuBytes,
                      int flashBytes) {
    QByteArray text = "S00600004844521B\r\n";
    for (int offset = 0; offset < cpuBytes; offset += 16) {
        text += Record(static_cast<std::uint32_t>(offset),
                       Pattern(std::min(16, cpuBytes - offset), offset));
    }
    // Flash data starts at flash offset 0x40000 so that both models can hold it.
    const std::uint32_t flashStart = profile.flashBase + 0x40000;
    for (int offset = 0; offset < flashBytes; offset += 16) {
        text += Record(flashStart + static_cast<std::uint32_t>(offset),
                       Pattern(std::min(16, flashBytes - offset), offset + 3));
    }
    text += "S9030000FC\r\n";
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

bool WriteRejectedFile(const QString& path) {
    QFile file(path);
    const QByteArray text = "S113ZZ00000102030405060708090A0B0C0D0E0F00\r\n";
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

WindowBench::WindowBench()
    : log(folder.filePath(QStringLiteral("debugZu.txt")).toStdString(),
          folder.filePath(QStringLiteral("debugZu.1.txt")).toStdString()) {}

std::unique_ptr<CFlashTransferDlg> WindowBench::Open(const QString& model, bool dumpImages) {
    LogicServices services;
    services.sleep = [this](std::chrono::milliseconds) { ++sleeps; };
    services.beep = [] {};
    return std::make_unique<CFlashTransferDlg>(ProfileOf(model), port, log, dumpImages,
                                               std::move(services));
}

std::int32_t WindowBench::PlugUnit() {
    UnitConfig unit;
    unit.programName = "PROGNAME";
    unit.version = "V1.10";
    unit.checksum = 0x005A;
    return port.Plug(unit);
}

namespace {

template <class Control> Control* Named(const CFlashTransferDlg& dlg, const char* name) {
    return dlg.findChild<Control*>(QString::fromLatin1(name));
}

} // namespace

QTableWidget* ListOf(const CFlashTransferDlg& dlg) {
    return Named<QTableWidget>(dlg, "m_list");
}

QString Cell(const CFlashTransferDlg& dlg, int row) {
    const QTableWidgetItem* item = ListOf(dlg)->item(row, 1);
    return item == nullptr ? QString() : item->text();
}

bool ShowsPlaceholders(const CFlashTransferDlg& dlg) {
    if (ListOf(dlg)->rowCount() != 3) {
        return false;
    }
    for (int row = 0; row < 3; ++row) {
        if (Cell(dlg, row) != QLatin1String(IDENTITY_PLACEHOLDER)) {
            return false;
        }
    }
    return true;
}

std::size_t CountCaptureLinesWith(const LoopbackDriverPort& port, const QString& part) {
    std::size_t count = 0;
    for (const std::string& line : port.CaptureLines()) {
        count += QString::fromStdString(line).contains(part) ? 1 : 0;
    }
    return count;
}

QPushButton* StartOf(const CFlashTransferDlg& dlg) {
    return Named<QPushButton>(dlg, "m_start");
}

QLabel* StatusOf(const CFlashTransferDlg& dlg) {
    return Named<QLabel>(dlg, "m_status");
}

QProgressBar* ProgressOf(const CFlashTransferDlg& dlg) {
    return Named<QProgressBar>(dlg, "m_progress");
}

QMenuBar* MenuBarOf(const CFlashTransferDlg& dlg) {
    return dlg.findChild<QMenuBar*>();
}

QAction* MenuItemOf(const CFlashTransferDlg& dlg, int commandId) {
    for (QAction* top : MenuBarOf(dlg)->actions()) {
        if (top->menu() == nullptr) {
            continue;
        }
        for (QAction* item : top->menu()->actions()) {
            if (!item->isSeparator() && item->data().toInt() == commandId) {
                return item;
            }
        }
    }
    return nullptr;
}
