#pragma once

// A platform service the program reaches through current(): the platform's own
// implementation unless another was installed (tests install fakes through
// ScopedSeam). Service derives from Seam<Service> and defines platform() once,
// beside its real implementation.
template <class Service> class Seam
{
public:
    static Service& current() { return s_installed ? *s_installed : platform(); }
    // Replaces the service; nullptr restores the platform's. Not owned.
    static void install(Service* service) { s_installed = service; }
    static Service* installed() { return s_installed; }

private:
    static Service& platform();
    static inline Service* s_installed = nullptr;
};

// Installs a replacement for its lifetime and puts back whatever was there before;
// guards nest (the last installed goes first), they must not overlap.
template <class Service> class [[nodiscard]] ScopedSeam
{
public:
    explicit ScopedSeam(Service* replacement) : m_previous(Seam<Service>::installed())
    {
        Seam<Service>::install(replacement);
    }
    ~ScopedSeam() { Seam<Service>::install(m_previous); }
    ScopedSeam(const ScopedSeam&) = delete;
    ScopedSeam& operator=(const ScopedSeam&) = delete;

private:
    Service* m_previous;
};
