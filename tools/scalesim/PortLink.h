#pragma once

// A COMn entry in a port directory: a symbolic link to the device that serves that port. It
// exists while this object lives.

#include <optional>
#include <string>

namespace scalesim {

class PortLink {
  public:
    // Links `dir`/`name` to `target`, replacing a stale link of that name in one step. Refuses
    // to replace anything that is not a symbolic link.
    static std::optional<PortLink> Create(const std::string& dir, const std::string& name,
                                          const std::string& target, std::string* error);

    PortLink(PortLink&& other) noexcept;
    PortLink& operator=(PortLink&& other) noexcept;
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;
    // Removes the link, unless someone has pointed it elsewhere meanwhile.
    ~PortLink();

    const std::string& Path() const { return m_path; }

  private:
    PortLink(std::string path, std::string target);
    void Remove();

    std::string m_path;
    std::string m_target;
};

}  // namespace scalesim
