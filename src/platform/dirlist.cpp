#include "dirlist.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

QList<DirEntry> listRegularFiles(const QString &folder) {
    QList<DirEntry> out;
    QByteArray prefix = QFile::encodeName(folder);
    DIR *dir = ::opendir(prefix.constData());
    if (!dir)
        return out;
    if (!prefix.endsWith('/'))
        prefix += '/';
    const int fd = ::dirfd(dir);
    while (const dirent *e = ::readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        // The entry's type spares a stat; links and unknown types are followed.
        if (e->d_type != DT_REG) {
            struct stat st {};
            if ((e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) ||
                ::fstatat(fd, e->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode))
                continue;
        }
        const QByteArray name(e->d_name);
        out.append({prefix + name, QFile::decodeName(name)});
    }
    ::closedir(dir);
    return out;
}
