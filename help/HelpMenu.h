#pragma once
// The Help menu's commands: the tips, the maker's web site and the about box.
struct StationParts;

class HelpMenu final
{
public:
    static constexpr const char *kMakerWebAddress = "https://www.orrindale.example/";

    explicit HelpMenu(StationParts &station) : m_station(station) {}

    void TipsMenuItem_Click();
    // The user sees nothing when no browser is available.
    void VisitMenuItem_Click();
    void AboutMenuItem_Click();

private:
    StationParts &m_station;
};
