// Linked with one layer's library whole and only the libraries that layer may
// use: it links only when the layer calls nothing above it.
int main() {
    return 0;
}
