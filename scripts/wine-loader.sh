# Sourced: zorva_wine_loader CONF prints the Wine loader of a configuration.
# The 64-bit prefixes (w64*) name the 64-bit loader directly: Debian's `wine`
# picks the 32-bit one whenever it is installed, even where it cannot run.
# The 32-bit prefixes keep Debian's `wine`, which starts the 32-bit loader.
zorva_wine_loader() {
  case $1 in
    w64*) echo /usr/lib/wine/wine64 ;;
    *) echo wine ;;
  esac
}

# Exports what Wine needs to start that loader.
zorva_wine_loader_env() {
  case $1 in
    w64*) export WINELOADER=/usr/lib/wine/wine64 ;;
  esac
}
