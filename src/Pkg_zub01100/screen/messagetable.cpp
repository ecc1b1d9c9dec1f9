#include "messagetable.h"

namespace zub01100 {

QStringList messageTableLines()
{
    return {
        QStringLiteral("Arq_Rel_Err|O arquivo contendo a definição do Relatório de código '%s' não foi encontrado no diretório '%s'."),
        QStringLiteral("NovoCaption|Título do Relatório"),
        QStringLiteral("NovoPrompt|Informe o título do relatório:"),
        QStringLiteral("FILI_EMPTY|Filial agregada deve ser informada."),
        QStringLiteral("FILI_INV|Filial não cadastrada."),
        QStringLiteral("CONT_RESC|Filial com contrato rescindido."),
        QStringLiteral("SERV_EMPTY|Serviço deve ser informado."),
        QStringLiteral("SERV_CAD|Serviço não cadastrado."),
        QStringLiteral("SERV|Serviço"),
        QStringLiteral("DATA|Data inicial deve ser menor ou igual a data final."),
        QStringLiteral("GRUPSERV|Grupo de Serviços"),
        QStringLiteral("GRUP_EMPTY|Grupo de serviços deve ser informado."),
        QStringLiteral("DIFERENCA|Diferença deve ser maior ou igual a zero."),
        QStringLiteral("DataInic_ni|Data inicial deve ser informada"),
        QStringLiteral("DataFina_ni|Data final deve ser informada"),
        QStringLiteral("TIPOPROD|Tipo de produto deve ser informado"),
        QStringLiteral("Servico_NCad|Não há serviço cadastrado."),
        QStringLiteral("Grup_cad|Não há grupo de serviços cadastrado."),
        QStringLiteral("Del_Cons_Plan|Limpando tabela temporária..."),
        QStringLiteral("Prep_Dados|Preparando dados para impressão..."),
        QStringLiteral("FILIAL|Filial"),
        QStringLiteral("CENTRAL_ni|Central de alimentação escolar deve ser informada."),
        QStringLiteral("CENTRAL_nc|Central de alimentação escolar não cadastrada."),
        QStringLiteral("FILI_N_CAD|Filial não cadastrada."),
        QStringLiteral("N_Filial_Centr|Filial não está ligada a uma central de alimentação escolar. O cadastro deve ser realizado na matriz."),
        QStringLiteral("FILIAGREG|Filial Agregada"),
        QStringLiteral("FILIAGREG_N_CAD|Não há filial agregada cadastrada para essa central de alimentação escolar ."),
        QStringLiteral("AGRUPFILI_N_CAD|Agrupamento de filiais não cadastrado."),
        QStringLiteral("FILIAGREG_INF|Filial agregada deve ser informada."),
        QStringLiteral("NENHUM|Nenhum"),
        QStringLiteral("TIPOCUS_NCAD|Não há tipo de custo parametrizado."),
        QStringLiteral("TipoCard_inf|Tipo de cardápio deve ser informado."),
        QStringLiteral("TipoCard|Tipo de Cardápio"),
        QStringLiteral("TPCARD_NCAD|Não há tipo de cardápio cadastrado."),
    };
}

} // namespace zub01100
