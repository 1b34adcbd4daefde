# A real ftplib client for the server tests:
#   ftpclient.py PORT passive|active get|put|append REMOTE LOCAL ENCODING
import ftplib
import sys

port, mode, op, remote, local, encoding = sys.argv[1:7]
ftp = ftplib.FTP(encoding=encoding, timeout=30)
ftp.connect('127.0.0.1', int(port))
ftp.login('office', 'secret')
ftp.set_pasv(mode == 'passive')
if op == 'get':
    with open(local, 'wb') as f:
        ftp.retrbinary('RETR ' + remote, f.write)
else:
    with open(local, 'rb') as f:
        ftp.storbinary(('STOR ' if op == 'put' else 'APPE ') + remote, f)
ftp.quit()
