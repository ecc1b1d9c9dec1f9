#include "host/services/messages.h"

#include "host/data/errors.h"
#include "host/services/hostservices.h"
#include "host/services/userinteraction.h"

namespace host {

void TMessages::setLines(const QStringList &lines)
{
    m_lines = lines;
    m_texts.clear();
    for (const QString &line : lines) {
        const qsizetype bar = line.indexOf(QLatin1Char('|'));
        if (bar <= 0)
            continue;
        const QString key = line.left(bar);
        if (!m_texts.contains(key))
            m_texts.insert(key, line.mid(bar + 1));
    }
}

QString TMessages::Msg(const QString &key) const
{
    const auto it = m_texts.constFind(key);
    if (it == m_texts.constEnd())
        throw HostError(QStringLiteral("Mensagem \"%1\" não cadastrada na tabela de mensagens.").arg(key));
    return it.value();
}

void MensErro(UserInteraction &ui, const QString &text, bool abort)
{
    ui.showError(text);
    if (abort)
        throw AbortError();
}

void MensErro(const QString &text, bool abort)
{
    MensErro(HostServices::current().ui(), text, abort);
}

} // namespace host
