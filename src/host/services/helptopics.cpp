#include "host/services/helptopics.h"

#include "host/services/programfolders.h"

#include <QDir>
#include <QStringList>

namespace host {

namespace {

struct TopicPage {
    const char *file;
    int context;
    const char *page;
};

// Each screen's help topic and the page that shows it.
const TopicPage kTopicPages[] = {
    {"Cushelp.hlp", 10701100, "custoplanxreal.html"},
};

} // namespace

QString HelpIndexPage()
{
    return QStringLiteral("index.html");
}

QString HelpPageFor(const HelpTopic &topic)
{
    for (const TopicPage &entry : kTopicPages) {
        // Help file names were never case-sensitive.
        if (entry.context == topic.context && topic.file.compare(QLatin1String(entry.file), Qt::CaseInsensitive) == 0)
            return QString::fromLatin1(entry.page);
    }
    return HelpIndexPage();
}

QStringList HelpTopicPages()
{
    QStringList pages;
    for (const TopicPage &entry : kTopicPages)
        pages << QString::fromLatin1(entry.page);
    return pages;
}

QString HelpPagePath(const HelpTopic &topic)
{
    return QDir(HelpFolder()).filePath(HelpPageFor(topic));
}

} // namespace host
