#pragma once
// Text of an export made on pool threads while the calling thread goes on
// reading, and written into the stream on the calling thread in the order
// it was asked for, as is text made on the calling thread. Steps (progress
// reports, the stream's formatting) are queued in the same order and run on
// the calling thread once everything before them is written; they write
// nothing into the stream, so the text can go on gathering. Pieces go to the
// pool in batches, so a thread is woken for a good deal of work rather than
// for each piece, and the number of pieces under way is bounded, so memory
// does not grow with the export. A piece whose text cannot be had for want
// of memory fails the export: it and everything after it are dropped.

#include "ExportFile.h"

#include <QByteArray>
#include <QFileDevice>
#include <QIODevice>
#include <QSaveFile>
#include <QString>
#include <QTextCodec>
#include <QTextStream>
#include <QThread>
#include <QThreadPool>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#endif

#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <new>
#include <vector>

class OrderedText
{
public:
    explicit OrderedText(QTextStream& out) : m_out(out)
    {
        // A stream into a device in UTF-8 (without a byte order mark still
        // to come): the pieces are encoded on the pool threads too and go to
        // the device as they are, after what the stream holds already.
        QTextCodec* codec = out.codec();
        if (out.device() && codec && codec->mibEnum() == 106 && !out.generateByteOrderMark())
            m_device = out.device();
        if (m_device) {
            out.flush();
            m_bytes.reserve(2 * kWriteBytes);
        }
        const int workers = QThread::idealThreadCount() - 1;
        if (workers >= 1) {
            m_pool.reset(new QThreadPool);
            m_pool->setMaxThreadCount(workers);
            m_limit = (workers + 1) * kBatch;
        }
    }
    ~OrderedText() { finish(); }
    OrderedText(const OrderedText&) = delete;
    OrderedText& operator=(const OrderedText&) = delete;

    // make runs on a pool thread (here without one) and must not touch the
    // stream; its text is written as it is. keep, the data make reads, is
    // released here after the text is written: memory taken on this thread
    // is given back on it, which keeps the threads off each other's heap.
    void text(std::function<QString()> make, std::shared_ptr<const void> keep = nullptr)
    {
        Entry e;
        e.keep = std::move(keep);
        if (!m_pool) {
            try {
                e.ready = make();
                if (m_device)
                    e.bytes = e.ready.toUtf8();
            } catch (const std::bad_alloc&) {
                e.ready.clear();
                e.bytes.clear();
                m_failed = true;
            }
        } else {
            if (!m_open)
                m_open = std::make_shared<Batch>();
            ++m_texts;
            e.batch = m_open;
            e.index = int(m_open->makes.size());
            m_open->makes.push_back(std::move(make));
            if (int(m_open->makes.size()) >= kBatch)
                submit();
        }
        m_queue.push_back(std::move(e));
        writeReady();
    }

    // Text made on the calling thread, written as it is.
    void ready(const QString& text)
    {
        Entry e;
        if (m_device)
            e.bytes = text.toUtf8();
        else
            e.ready = text;
        m_queue.push_back(std::move(e));
        writeReady();
    }

    // Runs on the calling thread after everything queued before; writes
    // nothing into the stream.
    void then(std::function<void()> step)
    {
        Entry e;
        e.step = std::move(step);
        m_queue.push_back(std::move(e));
        writeReady();
    }

    // Writes everything queued.
    void finish()
    {
        while (!m_queue.empty())
            writeFront();
        if (m_device)
            writeBytes();
    }

    // Drops everything queued and not yet written, once the pieces under way
    // are done with what they read: the export stops here.
    void discard()
    {
        m_open.reset();
        for (Entry& e : m_queue) {
            if (e.batch && e.batch->done.valid())
                e.batch->done.wait();
        }
        m_queue.clear();
        m_texts = 0;
        m_bytes.resize(0);
    }

    // Not ok when a piece could not be made for want of memory; what
    // followed it was not written.
    ExportStatus status() const
    {
        return m_failed ? ExportStatus::failed(ExportFailure::NoMemory,
                                               QStringLiteral("the text of a piece does not fit in memory"))
                        : ExportStatus();
    }

private:
    static const int kBatch = 32;
    static const int kWriteBytes = 1 << 16;
    static const int kWritebackBytes = 1 << 20;

    struct Batch
    {
        std::vector<std::function<QString()> > makes;
        std::vector<QString> texts;
        // Encoded, the batch's texts back to back, each ending at its offset.
        QByteArray bytes;
        std::vector<int> ends;
        std::promise<void> made;
        std::future<void> done;
        int failedAt = -1;   // the first text that could not be had
    };

    struct Entry
    {
        std::shared_ptr<Batch> batch;
        int index = 0;
        QString ready;
        QByteArray bytes;
        std::function<void()> step;
        std::shared_ptr<const void> keep;
    };

    void submit()
    {
        std::shared_ptr<Batch> b = std::move(m_open);
        m_open.reset();
        const bool encode = m_device != nullptr;
        if (encode)
            b->ends.resize(b->makes.size());
        else
            b->texts.resize(b->makes.size());
        b->done = b->made.get_future();
        m_pool->start([b, encode] {
            for (size_t i = 0; i < b->makes.size(); ++i) {
                try {
                    if (encode) {
                        b->bytes += b->makes[i]().toUtf8();
                        b->ends[i] = b->bytes.size();
                    } else {
                        b->texts[i] = b->makes[i]();
                    }
                } catch (const std::bad_alloc&) {
                    b->failedAt = int(i);
                    break;
                }
            }
            b->made.set_value();
        });
    }

    void writeFront()
    {
        Entry& e = m_queue.front();
        if (e.batch && e.batch == m_open)
            submit();
        if (e.batch)
            e.batch->done.wait();
        if (e.batch && e.batch->failedAt >= 0 && e.index >= e.batch->failedAt)
            m_failed = true;
        if (m_failed) {
            // Nothing after a piece that could not be made.
            if (e.batch)
                --m_texts;
        } else if (e.step) {
            e.step();
        } else if (e.batch) {
            --m_texts;
            if (m_device) {
                const int begin = e.index > 0 ? e.batch->ends[size_t(e.index - 1)] : 0;
                put(e.batch->bytes.constData() + begin, e.batch->ends[size_t(e.index)] - begin);
            } else {
                writeText(e.batch->texts[size_t(e.index)]);
                e.batch->texts[size_t(e.index)].clear();
            }
        } else if (m_device) {
            put(e.bytes.constData(), e.bytes.size());
        } else {
            writeText(e.ready);
        }
        m_queue.pop_front();
    }

    // Text into the stream as it is, whatever field width the stream has.
    void writeText(const QString& text)
    {
        const int width = m_out.fieldWidth();
        m_out.setFieldWidth(0);
        m_out << text;
        m_out.setFieldWidth(width);
    }

    // Encoded text gathered into writes of some size.
    void put(const char* bytes, int size)
    {
        m_bytes.append(bytes, size);
        if (m_bytes.size() >= kWriteBytes)
            writeBytes();
    }

    // The gathered text into the device, and a file's buffer on to the
    // disk, as the stream's own flush does; a failure shows in the stream's
    // status as it would have, and what follows is dropped as the stream
    // drops it.
    void writeBytes()
    {
        if (m_bytes.isEmpty())
            return;
        if (m_out.status() == QTextStream::Ok) {
            const bool written = WriteWhole(*m_device, m_bytes.constData(), m_bytes.size());
            auto* file = qobject_cast<QFileDevice*>(m_device);
            const bool flushed = !file || file->flush();
            if (!written || !flushed)
                m_out.setStatus(QTextStream::WriteFailed);
            else if (auto* saved = qobject_cast<QSaveFile*>(m_device))
                startWriteback(*saved);
        }
        m_bytes.resize(0);   // the room reserved stays
    }

    // Sends what a saved file holds so far on its way to the disk without
    // waiting for it, a megabyte at a time, so the sync of its commit finds
    // most of it there already.
    void startWriteback(QFileDevice& file)
    {
#ifdef Q_OS_LINUX
        const qint64 end = file.pos();
        if (file.handle() < 0 || end - m_writtenBack < kWritebackBytes)
            return;
        ::sync_file_range(file.handle(), m_writtenBack, end - m_writtenBack, SYNC_FILE_RANGE_WRITE);
        m_writtenBack = end;
#else
        Q_UNUSED(file);
#endif
    }

    bool isWritable(const Entry& e) const
    {
        return !e.batch
            || (e.batch != m_open && e.batch->done.wait_for(std::chrono::seconds(0)) == std::future_status::ready);
    }

    // Writes what is ready at the front of the queue, and waits while too
    // much is under way.
    void writeReady()
    {
        while (!m_queue.empty() && (isWritable(m_queue.front()) || m_texts > m_limit))
            writeFront();
    }

    QTextStream& m_out;
    QIODevice* m_device = nullptr;
    QByteArray m_bytes;
    qint64 m_writtenBack = 0;   // bytes of the file sent on to the disk
    std::unique_ptr<QThreadPool> m_pool;
    int m_limit = 0;   // pieces under way at most
    int m_texts = 0;   // pieces queued
    bool m_failed = false;
    std::shared_ptr<Batch> m_open;
    std::deque<Entry> m_queue;
};
