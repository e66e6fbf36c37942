#pragma once

#include "platform/engine/formats/DecryptedView.h"

#include <QIODevice>

// One part of a decrypting view read as a file, for code that reads
// headers from a device.
class ViewPartDevice : public QIODevice {
public:
    ViewPartDevice(std::unique_ptr<DecryptedView> view, qsizetype part);

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_view->partSize(m_part); }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    std::unique_ptr<DecryptedView> m_view;
    qsizetype m_part = 0;
};
