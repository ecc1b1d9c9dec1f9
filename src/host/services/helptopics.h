#pragma once

#include <QString>

namespace host {

// A form's help topic, as screens name it: a help file and a context number in it.
struct HelpTopic {
    QString file;
    int context = 0;
};

// The help pages that ship with the client (docs/help, installed in HelpFolder()).
// The first page, which links every other.
QString HelpIndexPage();
// The page that shows `topic`; the index when no page is given for it.
QString HelpPageFor(const HelpTopic &topic);
// Every page a topic opens, for checks that they ship.
QStringList HelpTopicPages();
// The topic's page as a path in HelpFolder().
QString HelpPagePath(const HelpTopic &topic);

} // namespace host
