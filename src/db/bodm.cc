#include "db/bodm.h"

#include <algorithm>

#include "base/errors.h"
#include "base/messages.h"
#include "db/query.h"
#include "packet/packet_writer.h"

namespace zoras {

TBODM::~TBODM() {
  if (owns_connection_ && connection_ != nullptr && pool_ != nullptr) {
    connection_->ClearCallContext();
    pool_->ReleaseConnection(*connection_);
  }
  connection_ = nullptr;
}

void TBODM::BindConnection(TDM* connection) {
  connection_ = connection;
  for (TSqlDataSet* component : components_) component->Bind(connection);
}

TDM& TBODM::RequireConnection() const {
  if (connection_ == nullptr) throw EZoras(Msg(msg::ecNoConnection, {"TBODM"}));
  return *connection_;
}

void TBODM::RemoveComponent(TSqlDataSet* component) {
  components_.erase(std::remove(components_.begin(), components_.end(), component),
                    components_.end());
}

std::string TBODM::ProvidePacket(TSqlDataSet& dataset, int packet_records, int page) {
  dataset.Open();
  if (packet_records > 0 && page > 1)
    dataset.MoveBy(static_cast<int64_t>(page - 1) * packet_records);
  return DataSetToPacket(dataset.DataSet(), packet_records);
}

}  // namespace zoras
